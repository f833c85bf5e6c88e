// The "Serial Port:" list: the serial devices present between "COM9" and the
// simulated entries, by stable path and readable name, listed again when the
// popup opens; and the open error that lists the ports found. A fake set of
// devices stands in for USB modems, which CI does not have; opening goes to a
// real pseudo-terminal.

#include "support/window_rig.h"

#include "app/port_list.h"
#include "serial/tcomm.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <vector>

using app::FoundDevice;
using rig::WindowRig;

namespace {

using Devices = std::vector<FoundDevice>;

// Hands the list whatever the test puts in `devices`, now and later.
class FakePorts final : public app::PortSource {
public:
    explicit FakePorts(std::shared_ptr<Devices> devices) : devices_(std::move(devices)) {}
    std::vector<FoundDevice> devices() const override { return *devices_; }

private:
    std::shared_ptr<Devices> devices_;
};

const QString kFtdiLink =
    QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K1234-if00-port0");

FoundDevice ftdi() {
    return {QStringLiteral("/dev/ttyUSB0"), {kFtdiLink}, "FTDI", "FT232R USB UART", "A10K1234"};
}
FoundDevice bare(const char* node) {
    return {QString::fromLatin1(node), {}, {}, {}, {}};
}

QStringList paths(const std::vector<app::ListedPort>& ports) {
    QStringList out;
    for (const auto& p : ports)
        out << p.path;
    return out;
}

// The items between "COM9" and the simulated transmitter.
QStringList deviceItems(const QComboBox* list) {
    QStringList out;
    for (int i = 9; i < list->count() && list->itemText(i) != TForm1::simulatedPortName(); ++i)
        out << list->itemText(i);
    return out;
}

app::PortCombo* portList(WindowRig& r) {
    return r.get<app::PortCombo>("SPREALCOM");
}

std::shared_ptr<Devices> fakeDevices(WindowRig& r, Devices devices) {
    auto shared = std::make_shared<Devices>(std::move(devices));
    portList(r)->setSource(std::make_unique<FakePorts>(shared));
    portList(r)->refresh();
    return shared;
}

} // namespace

class PortListTest : public QObject {
    Q_OBJECT
private slots:
    void listing_data();
    void listing();
    void readableNames_data();
    void readableNames();
    void devicesBetweenComAndSimulated();
    void refreshKeepsTextAndSelection_data();
    void refreshKeepsTextAndSelection();
    void popupListsAgain();
    void opensByStablePath();
    void missingPortListsPortsFound_data();
    void missingPortListsPortsFound();
    void missingPortOnThisMachine();
    void busyPortListsNothing();
    void stableLinks();
    void placeholderUarts_data();
    void placeholderUarts();
    void systemListing();
};

void PortListTest::listing_data() {
    QTest::addColumn<Devices>("devices");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("USB adapters first, in the kernel's numbering")
        << Devices{bare("/dev/ttyS0"),   bare("/dev/ttyUSB10"), bare("/dev/ttyAMA0"),
                   bare("/dev/ttyUSB2"), bare("/dev/ttyACM0"),  bare("/dev/ttyS1")}
        << QStringList{"/dev/ttyACM0", "/dev/ttyUSB2", "/dev/ttyUSB10",
                       "/dev/ttyS0",   "/dev/ttyS1",   "/dev/ttyAMA0"};
    QTest::newRow("by-id link instead of the node")
        << Devices{bare("/dev/ttyS0"), ftdi()} << QStringList{kFtdiLink, "/dev/ttyS0"};
    QTest::newRow("first of several links")
        << Devices{{"/dev/ttyUSB3",
                    {"/dev/serial/by-id/usb-b-port0", "/dev/serial/by-id/usb-a-port0"},
                    {},
                    {},
                    {}}}
        << QStringList{"/dev/serial/by-id/usb-a-port0"};
    QTest::newRow("a device reported twice is listed once")
        << Devices{ftdi(), bare("/dev/ttyUSB1"), ftdi()} << QStringList{kFtdiLink, "/dev/ttyUSB1"};
    QTest::newRow("two nodes behind one link are listed once")
        << Devices{{"/dev/ttyUSB4", {"/dev/serial/by-id/same"}, {}, {}, {}},
                   {"/dev/ttyUSB5", {"/dev/serial/by-id/same"}, {}, {}, {}}}
        << QStringList{"/dev/serial/by-id/same"};
    QTest::newRow("nothing") << Devices{} << QStringList{};
}

void PortListTest::listing() {
    QFETCH(Devices, devices);
    QFETCH(QStringList, expected);
    QCOMPARE(paths(app::listPorts(devices)), expected);
}

void PortListTest::readableNames_data() {
    QTest::addColumn<FoundDevice>("device");
    QTest::addColumn<QString>("name");
    QTest::newRow("maker, product, serial number")
        << ftdi() << QStringLiteral("FTDI FT232R USB UART, serial A10K1234");
    QTest::newRow("product already names the maker")
        << FoundDevice{"/dev/ttyACM0", {}, "Microflex", "Microflex HART modem", {}}
        << QStringLiteral("Microflex HART modem");
    QTest::newRow("serial number alone") << FoundDevice{"/dev/ttyUSB1", {}, {}, {}, "0042"}
                                         << QStringLiteral("USB serial adapter, serial 0042");
    QTest::newRow("USB modem") << bare("/dev/ttyACM1") << QStringLiteral("USB modem");
    QTest::newRow("on-board") << bare("/dev/ttyS0") << QStringLiteral("on-board serial port");
    QTest::newRow("other") << bare("/dev/ttyAMA0") << QStringLiteral("serial port");
}

void PortListTest::readableNames() {
    QFETCH(FoundDevice, device);
    QFETCH(QString, name);
    const auto ports = app::listPorts({device});
    QCOMPARE(ports.size(), std::size_t{1});
    QCOMPARE(ports[0].name, name);
    QCOMPARE(ports[0].device, device.device);
}

void PortListTest::devicesBetweenComAndSimulated() {
    WindowRig r(false);
    fakeDevices(r, {bare("/dev/ttyS0"), ftdi(), bare("/dev/ttyUSB1")});
    auto* list = portList(r);
    for (int i = 0; i < 9; ++i)
        QCOMPARE(list->itemText(i), QStringLiteral("COM%1").arg(i + 1));
    QCOMPARE(deviceItems(list), (QStringList{kFtdiLink, "/dev/ttyUSB1", "/dev/ttyS0"}));
    QCOMPARE(list->itemText(list->count() - 2), TForm1::simulatedPortName());
    QCOMPARE(list->itemText(list->count() - 1), TForm1::simulatedNetworkName());
    // The readable name is the item's tooltip, with the node behind a link.
    QCOMPARE(list->itemData(9, Qt::ToolTipRole).toString(),
             QStringLiteral("FTDI FT232R USB UART, serial A10K1234 (/dev/ttyUSB0)"));
    QCOMPARE(list->itemData(10, Qt::ToolTipRole).toString(), QStringLiteral("USB serial adapter"));
    QCOMPARE(list->itemData(11, Qt::ToolTipRole).toString(),
             QStringLiteral("on-board serial port"));
    // The start state is as it always was.
    QCOMPARE(list->currentIndex(), 2);
    QCOMPARE(list->currentText(), QStringLiteral("COM3"));
}

void PortListTest::refreshKeepsTextAndSelection_data() {
    // The list starts with /dev/ttyUSB1 and /dev/ttyS0.
    QTest::addColumn<QString>("select");   // item to select first
    QTest::addColumn<QString>("type");     // text typed after that; empty: none
    QTest::addColumn<Devices>("after");    // the devices at the refresh
    QTest::addColumn<QString>("selected"); // item selected afterwards; empty: none
    QTest::addColumn<QString>("text");     // the list's text afterwards
    QTest::newRow("COM3 stays selected") << "COM3"
                                         << "" << Devices{ftdi(), bare("/dev/ttyUSB1")} << "COM3"
                                         << "COM3";
    QTest::newRow("typed path stays")
        << "COM3"
        << "/dev/pts/77" << Devices{ftdi(), bare("/dev/ttyUSB1")} << "COM3"
        << "/dev/pts/77";
    QTest::newRow("selected device moves down")
        << "/dev/ttyUSB1"
        << "" << Devices{ftdi(), bare("/dev/ttyUSB1"), bare("/dev/ttyS0")} << "/dev/ttyUSB1"
        << "/dev/ttyUSB1";
    QTest::newRow("selected device gone: its path stays as text") << "/dev/ttyS0"
                                                                  << "" << Devices{ftdi()} << ""
                                                                  << "/dev/ttyS0";
    QTest::newRow("simulated transmitter stays selected")
        << "Simulated transmitter"
        << "" << Devices{} << "Simulated transmitter"
        << "Simulated transmitter";
}

void PortListTest::refreshKeepsTextAndSelection() {
    QFETCH(QString, select);
    QFETCH(QString, type);
    QFETCH(Devices, after);
    QFETCH(QString, selected);
    QFETCH(QString, text);
    WindowRig r(false);
    auto devices = fakeDevices(r, {bare("/dev/ttyUSB1"), bare("/dev/ttyS0")});
    auto* list = portList(r);
    list->setCurrentIndex(list->findText(select));
    QCOMPARE(list->currentText(), select);
    if (!type.isEmpty()) {
        list->lineEdit()->selectAll();
        QTest::keyClicks(list->lineEdit(), type);
        QCOMPARE(list->currentText(), type);
    }
    *devices = after;
    list->refresh();
    QCOMPARE(list->currentText(), text);
    if (selected.isEmpty()) {
        QCOMPARE(list->currentIndex(), -1);
    } else {
        QVERIFY(list->currentIndex() >= 0);
        QCOMPARE(list->itemText(list->currentIndex()), selected);
    }
}

void PortListTest::popupListsAgain() {
    WindowRig r(false);
    auto devices = fakeDevices(r, {bare("/dev/ttyS0")});
    auto* list = portList(r);
    QCOMPARE(deviceItems(list), QStringList{"/dev/ttyS0"});
    // A modem plugged in after start is there when the list drops down.
    *devices = {bare("/dev/ttyS0"), ftdi()};
    list->showPopup();
    QVERIFY(rig::waitFor([list] { return list->view()->isVisible(); }, 5000));
    QCOMPARE(deviceItems(list), (QStringList{kFtdiLink, "/dev/ttyS0"}));
    QCOMPARE(list->view()->model()->rowCount(), 9 + 2 + 2); // and the two simulated entries
    // The long by-id path is shown whole, not cut in the middle.
    QVERIFY(list->view()->viewport()->width() >= list->view()->sizeHintForColumn(0));
    QVERIFY(list->view()->width() > list->width());
    list->hidePopup();
    QCOMPARE(list->currentText(), QStringLiteral("COM3"));
}

void PortListTest::opensByStablePath() {
    // A link to the device's pty stands for a /dev/serial/by-id link.
    WindowRig r(false);
    QTemporaryDir byId;
    QVERIFY(byId.isValid());
    const QString link = byId.filePath(QStringLiteral("usb-Test_HART_Modem_0001-if00-port0"));
    QVERIFY(QFile::link(QString::fromStdString(r.device().portPath()), link));
    fakeDevices(r, {{QString::fromStdString(r.device().portPath()), {link}, {}, "HART modem", {}}});
    auto* list = portList(r);
    const int item = list->findText(link);
    QVERIFY(item > 8);
    list->setCurrentIndex(item);
    QVERIFY(r.click("Button1"));
    QVERIFY(r.isOpen());
    QCOMPARE(r.form().comm().CommName(), link);
    QVERIFY(r.discover()); // the device answers through the link
}

void PortListTest::missingPortListsPortsFound_data() {
    QTest::addColumn<Devices>("devices");
    QTest::addColumn<QString>("portsLine");
    QTest::newRow("none") << Devices{} << QStringLiteral("No serial ports were found.");
    QTest::newRow("two") << Devices{bare("/dev/ttyS0"), ftdi()}
                         << QStringLiteral("Ports found: ") + kFtdiLink +
                                QStringLiteral(" (FTDI FT232R USB UART, serial A10K1234), "
                                               "/dev/ttyS0 (on-board serial port).");
}

void PortListTest::missingPortListsPortsFound() {
    QFETCH(Devices, devices);
    QFETCH(QString, portsLine);
    WindowRig r(false);
    fakeDevices(r, devices);
    const QString missing = QStringLiteral("/dev/rx460k-no-such-port");
    portList(r)->setEditText(missing);
    QVERIFY(r.click("Button1"));
    const QStringList lines = r.takeErrorBox().split(u'\n');
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0], QStringLiteral("Error opening serial port"));
    QVERIFY2(lines[1].contains(missing), qPrintable(lines[1])); // the component's cause
    QCOMPARE(lines[2], portsLine);
    QCOMPARE(r.get<QPushButton>("Button1")->text(), QStringLiteral("Open"));
    QCOMPARE(portList(r)->currentText(), missing);
}

void PortListTest::missingPortOnThisMachine() {
    // The machine's own listing: whatever it finds are ports that exist.
    WindowRig r(false);
    portList(r)->setEditText(QStringLiteral("COM12"));
    QVERIFY(r.click("Button1"));
    const QStringList lines = r.takeErrorBox().split(u'\n');
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0], QStringLiteral("Error opening serial port"));
    QVERIFY2(lines[1].contains(QStringLiteral("/dev/ttyS11")), qPrintable(lines[1]));
    if (lines[2] != QStringLiteral("No serial ports were found.")) {
        QVERIFY2(lines[2].startsWith(QStringLiteral("Ports found: ")), qPrintable(lines[2]));
        for (const auto& port : portList(r)->ports())
            QVERIFY2(QFileInfo::exists(port.path), qPrintable(port.path));
    }
}

void PortListTest::busyPortListsNothing() {
    // Another program holds the device: the cause says so, no ports are listed.
    WindowRig r(false);
    TComm other;
    other.setCommName(QString::fromStdString(r.device().portPath()));
    other.OpenPort();
    fakeDevices(r, {ftdi()});
    portList(r)->setEditText(QString::fromStdString(r.device().portPath()));
    QVERIFY(r.click("Button1"));
    const QStringList lines = r.takeErrorBox().split(u'\n');
    QCOMPARE(lines[0], QStringLiteral("Error opening serial port"));
    QVERIFY(lines.size() >= 2);
    for (const QString& line : lines)
        QVERIFY2(!line.startsWith(QStringLiteral("Ports found")), qPrintable(line));
    QVERIFY(!r.isOpen());
}

void PortListTest::stableLinks() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QDir root(dir.path());
    QVERIFY(root.mkdir(QStringLiteral("dev")) && root.mkdir(QStringLiteral("by-id")));
    for (const char* node : {"ttyUSB0", "ttyUSB1"}) {
        QFile f(root.filePath(QStringLiteral("dev/") + QLatin1String(node)));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    const QString byId = root.filePath(QStringLiteral("by-id"));
    QVERIFY(QFile::link(root.filePath(QStringLiteral("dev/ttyUSB0")), byId + "/usb-b-port0"));
    QVERIFY(QFile::link(root.filePath(QStringLiteral("dev/ttyUSB0")), byId + "/usb-a-port0"));
    QVERIFY(QFile::link(root.filePath(QStringLiteral("dev/ttyUSB1")), byId + "/usb-c-port0"));
    QVERIFY(QFile::link(root.filePath(QStringLiteral("dev/ttyUSB9")), byId + "/usb-gone-port0"));

    const auto links = app::linksByTarget(byId);
    const QString usb0 =
        QFileInfo(root.filePath(QStringLiteral("dev/ttyUSB0"))).canonicalFilePath();
    const QString usb1 =
        QFileInfo(root.filePath(QStringLiteral("dev/ttyUSB1"))).canonicalFilePath();
    QCOMPARE(links.size(), 2); // the dangling link leads nowhere
    QCOMPARE(links.value(usb0), (QStringList{byId + "/usb-a-port0", byId + "/usb-b-port0"}));
    QCOMPARE(links.value(usb1), QStringList{byId + "/usb-c-port0"});
    QVERIFY(app::linksByTarget(root.filePath(QStringLiteral("no-such-dir"))).isEmpty());
}

void PortListTest::placeholderUarts_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("type"); // contents of <sysfs>/<name>/type; "-": no such file
    QTest::addColumn<bool>("listed");
    QTest::newRow("16550A") << "ttyS0"
                            << "4\n"
                            << true;
    QTest::newRow("unknown UART") << "ttyS1"
                                  << "0\n"
                                  << false;
    QTest::newRow("no type") << "ttyS2"
                             << "-" << false;
    QTest::newRow("garbage type") << "ttyS3"
                                  << "x\n"
                                  << false;
    QTest::newRow("USB adapter, no type") << "ttyUSB0"
                                          << "-" << true;
    QTest::newRow("not a ttyS<n>") << "ttySAC0"
                                   << "-" << true;
}

void PortListTest::placeholderUarts() {
    QFETCH(QString, name);
    QFETCH(QString, type);
    QFETCH(bool, listed);
    QTemporaryDir sysfs;
    QVERIFY(sysfs.isValid());
    QVERIFY(QDir(sysfs.path()).mkdir(name));
    if (type != QStringLiteral("-")) {
        QFile f(sysfs.filePath(name + QStringLiteral("/type")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(type.toLatin1());
    }
    QCOMPARE(app::hasUart(sysfs.path(), name), listed);
}

void PortListTest::systemListing() {
    // Whatever this machine has: nodes that exist, no ttyS whose UART sysfs
    // gives as unknown, each path once.
    const auto ports = app::listPorts(app::SystemPorts().devices());
    QStringList seen;
    for (const auto& port : ports) {
        QVERIFY2(QFileInfo::exists(port.device), qPrintable(port.device));
        QVERIFY2(!seen.contains(port.path), qPrintable(port.path));
        seen << port.path;
        const QString name = QFileInfo(port.device).fileName();
        QFile type(QStringLiteral("/sys/class/tty/") + name + QStringLiteral("/type"));
        if (name.startsWith(QStringLiteral("ttyS")) && type.open(QIODevice::ReadOnly))
            QVERIFY2(type.readAll().trimmed() != "0", qPrintable(name));
    }
}

QTEST_MAIN(PortListTest)
#include "tst_port_list.moc"
