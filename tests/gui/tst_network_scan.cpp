// The "Network" page: a scan of polling addresses against simulated devices on
// a real pseudo-terminal, through the real window. Scripted lines put devices
// at chosen addresses (one of them found only when the master retries); the
// "Simulated network" entry of the port list opens the standard network (the
// transmitter at 0, the HART 7 flowmeter at 5).
//
// Expected frames are hand-computed (checksum = XOR from the delimiter on);
// expected table texts come from the simulated devices' identities: the
// transmitter is Rosemount (38), device type 05, device ID 01 02 03 plus its
// polling address, HART 5, device revision 1, tag "TT100"; the flowmeter is
// Endress+Hauser (17 in command-0 bytes 17-18), expanded device type 11B7,
// device ID 3A 5C 8C plus its polling address, HART 7, device revision 2,
// long tag "FT-205 Speisewasser Durchfluß K2".

#include "app/main_window.h"
#include "hart/link_buffer.h"
#include "host/request_cycle.h"
#include "sim/hartip_server.h"
#include "sim/sim_network.h"
#include "support/window_rig.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>

#include <map>
#include <memory>
#include <vector>

using rig::Bytes;
using rig::hex;

namespace {

// Command 0, short frame, primary master, to polling addresses 0-15.
const char* const kPoll[16] = {
    "02 80 00 00 82", "02 81 00 00 83", "02 82 00 00 80", "02 83 00 00 81",
    "02 84 00 00 86", "02 85 00 00 87", "02 86 00 00 84", "02 87 00 00 85",
    "02 88 00 00 8A", "02 89 00 00 8B", "02 8A 00 00 88", "02 8B 00 00 89",
    "02 8C 00 00 8E", "02 8D 00 00 8F", "02 8E 00 00 8C", "02 8F 00 00 8D"};

// Generous: a 0-15 scan of a quiet line takes about 13 s; CI shares two cores.
constexpr int kScanWaitMs = 120000;

const QString kLongTag = QString::fromLatin1("FT-205 Speisewasser Durchflu\xDF K2");

// One table row: Address, Manufacturer, Device type, Device ID, HART revision,
// Device revision, Tag.
using Row = QStringList;

// A window on a line of scripted simulated devices, port open.
class NetworkWindow {
public:
    explicit NetworkWindow(const std::vector<sim::NetworkDevice>& devices,
                           sim::LineOptions options = {})
        : line_(std::make_unique<sim::SimNetwork>(devices, options)),
          form_(std::make_unique<TForm1>()) {
        form_->resize(1200, 900);
        form_->show();
        get<QComboBox>("SPREALCOM")->setEditText(QString::fromStdString(line_->portPath()));
        get<QPushButton>("Button1")->click();
    }
    // A window on the "Simulated network" of its own port list.
    NetworkWindow() : form_(std::make_unique<TForm1>()) {
        form_->resize(1200, 900);
        form_->show();
        auto* list = get<QComboBox>("SPREALCOM");
        list->setCurrentIndex(list->findText(TForm1::simulatedNetworkName()));
        get<QPushButton>("Button1")->click();
    }
    ~NetworkWindow() {
        form_.reset();
        line_.reset();
    }

    template <class T = QWidget> T* get(const char* name) const {
        return form_->findChild<T*>(QString::fromLatin1(name));
    }
    TForm1& form() { return *form_; }
    sim::SimNetwork& line() { return line_ ? *line_ : *form_->simulatedNetwork(); }
    bool isOpen() const { return get<QPushButton>("Button1")->text() == QStringLiteral("Close"); }

    bool scanRunning() const { return !get<QComboBox>("ScanRange")->isEnabled(); }
    // Chooses the range, clicks "Scan" and waits for the scan to end.
    bool scan(const QString& range) {
        auto* list = get<QComboBox>("ScanRange");
        list->setCurrentIndex(list->findText(range));
        auto* button = get<QPushButton>("ScanNetwork");
        if (!button->isEnabled()) return false;
        button->click();
        if (!scanRunning()) return false;
        return rig::waitFor([this] { return !scanRunning(); }, kScanWaitMs);
    }

    std::vector<Row> rows() const {
        auto* table = get<QTableWidget>("NetworkTable");
        std::vector<Row> out;
        for (int r = 0; r < table->rowCount(); ++r) {
            Row row;
            for (int c = 0; c < table->columnCount(); ++c)
                row << (table->item(r, c) ? table->item(r, c)->text() : QString());
            out.push_back(row);
        }
        return out;
    }

    // Double-clicks the table row of polling address `address`, as a user does.
    bool doubleClickAddress(int address) {
        auto* pages = get<QTabWidget>("PageControl2");
        pages->setCurrentWidget(get<QWidget>("TabSheetNetwork"));
        auto* table = get<QTableWidget>("NetworkTable");
        for (int r = 0; r < table->rowCount(); ++r) {
            if (table->item(r, 0)->text() != QString::number(address)) continue;
            table->scrollToItem(table->item(r, 0));
            const QPoint at = table->visualItemRect(table->item(r, 1)).center();
            // A mouse sends press and release before the double-click.
            QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, at);
            QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, at);
            return true;
        }
        return false;
    }

    QString text(const char* edit) const { return get<QLineEdit>(edit)->text(); }
    QString comboText(const char* combo) const { return get<QComboBox>(combo)->currentText(); }

    // Every frame the line received, delimiter through checksum, as hex text.
    QStringList framesOnLine() {
        QStringList out;
        for (const Bytes& f : line().takeFrames())
            out << rig::hexText(f).trimmed();
        return out;
    }

private:
    std::unique_ptr<sim::SimNetwork> line_;
    std::unique_ptr<TForm1> form_;
};

const std::vector<const char*> kRequestButtons{"Button3",  "Button16", "Button17",
                                               "Button48", "Button63", "ReadMoreStatus"};

bool anyRequestButtonEnabled(NetworkWindow& w) {
    for (const char* b : kRequestButtons)
        if (w.get<QPushButton>(b)->isEnabled()) return true;
    return false;
}

} // namespace

class NetworkScanTest : public QObject {
    Q_OBJECT
private slots:
    void pageAndStartState();
    void rowsInAddressOrderWithTags();
    void stopEndsAfterTheCurrentAddress();
    void closingThePortEndsTheScan();
    void simulatedNetworkFromThePortList();
    void throughAHartIpGateway_data();
    void throughAHartIpGateway();
};

void NetworkScanTest::pageAndStartState() {
    TForm1 form;
    auto* pages = form.findChild<QTabWidget*>(QStringLiteral("PageControl2"));
    const int network = pages->indexOf(form.findChild<QWidget*>(QStringLiteral("TabSheetNetwork")));
    QVERIFY(network >= 0);
    QCOMPARE(pages->tabText(network), QStringLiteral("Network"));
    auto* range = form.findChild<QComboBox*>(QStringLiteral("ScanRange"));
    QCOMPARE(range->count(), 2);
    QCOMPARE(range->itemText(0), QStringLiteral("0-15"));
    QCOMPARE(range->itemText(1), QStringLiteral("0-63"));
    QCOMPARE(range->currentText(), QStringLiteral("0-63"));
    auto* table = form.findChild<QTableWidget*>(QStringLiteral("NetworkTable"));
    QStringList headers;
    for (int c = 0; c < table->columnCount(); ++c)
        headers << table->horizontalHeaderItem(c)->text();
    QCOMPARE(headers, (QStringList{"Address", "Manufacturer", "Device type", "Device ID",
                                   "HART revision", "Device revision", "Tag"}));
    QCOMPARE(table->rowCount(), 0);
    QVERIFY(form.findChild<QProgressBar*>(QStringLiteral("ScanProgress")));
    // Port closed: nothing to scan, nothing to stop.
    QVERIFY(!form.findChild<QPushButton*>(QStringLiteral("ScanNetwork"))->isEnabled());
    QVERIFY(!form.findChild<QPushButton*>(QStringLiteral("StopScan"))->isEnabled());
    // The simulated network follows the simulated transmitter in the port list.
    auto* ports = form.findChild<QComboBox*>(QStringLiteral("SPREALCOM"));
    const int transmitter = ports->findText(TForm1::simulatedPortName());
    QVERIFY(transmitter >= 0);
    QCOMPARE(ports->itemText(transmitter + 1), QStringLiteral("Simulated network"));
}

void NetworkScanTest::rowsInAddressOrderWithTags() {
    using sim::DeviceModel;
    // Listed out of order on purpose; the device at 12 answers only a retry.
    NetworkWindow w({{DeviceModel::Transmitter, 3, false},
                     {DeviceModel::Transmitter, 12, true},
                     {DeviceModel::Hart7, 1, false}});
    QVERIFY(w.isOpen());
    QVERIFY(w.get<QPushButton>("Button3")->isEnabled());
    w.line().takeFrames();

    // Whatever is sent while the scan runs, no page may send alongside it.
    int framesSent = 0;
    bool pagesHeld = true;
    QObject::connect(&w.form().cycle(), &host::RequestCycle::frameSent, &w.form(),
                     [&](const QByteArray&) {
                         ++framesSent;
                         pagesHeld = pagesHeld && !anyRequestButtonEnabled(w);
                     });

    QVERIFY(w.scan(QStringLiteral("0-15")));
    QVERIFY(framesSent > 0);
    QVERIFY(pagesHeld);
    for (const char* b : kRequestButtons)
        QVERIFY2(w.get<QPushButton>(b)->isEnabled(), b);
    QVERIFY(w.get<QPushButton>("ScanNetwork")->isEnabled());
    QVERIFY(!w.get<QPushButton>("StopScan")->isEnabled());
    QCOMPARE(w.get<QProgressBar>("ScanProgress")->value(), 16);
    QCOMPARE(w.get<QProgressBar>("ScanProgress")->maximum(), 16);

    const std::vector<Row> expected{
        {"1", "Endress_and_Hauser", "11B7", "3A5C8D", "7", "2", kLongTag},
        {"3", "Rosemount", "05", "010206", "5", "1", "TT100"},
        {"12", "Rosemount", "05", "01020F", "5", "1", "TT100"},
    };
    QCOMPARE(w.rows(), expected);

    // Each silent address asked twice, each device once (the one at 12
    // twice, answering the retry), then asked for its tag by its own long
    // address: command 20 for HART 7, 13 before.
    QStringList want;
    for (int a = 0; a < 16; ++a) {
        const bool answersFirst = a == 1 || a == 3;
        want << kPoll[a];
        if (!answersFirst) want << kPoll[a];
        if (a == 1) want << QStringLiteral("82 91 B7 3A 5C 8D 14 00 5B");
        if (a == 3) want << QStringLiteral("82 A6 05 01 02 06 0D 00 29");
        if (a == 12) want << QStringLiteral("82 A6 05 01 02 0F 0D 00 20");
    }
    QCOMPARE(w.framesOnLine(), want);

    // The scan never touched the current device's identity.
    const auto& b = w.form().cycle().buffer();
    for (int i : {hart::lb::kManufacturer, hart::lb::kDeviceType, hart::lb::kDeviceId,
                  hart::lb::kDeviceId + 1, hart::lb::kDeviceId + 2, hart::lb::kPollAddress})
        QCOMPARE(int(b[static_cast<std::size_t>(i)]), 0);
    QCOMPARE(w.text("Edit1"), QString());

    // A second scan starts from an empty table and finds the same.
    QVERIFY(w.scan(QStringLiteral("0-15")));
    QCOMPARE(w.rows(), expected);
}

void NetworkScanTest::stopEndsAfterTheCurrentAddress() {
    using sim::DeviceModel;
    struct Case {
        const char* what;
        const char* stopAt; // click "Stop" when this frame goes out
        QStringList frames; // all the line then gets
        QStringList addresses;
        int progress;
    };
    const std::vector<Case> cases{
        // Stopped while address 1 is silent: its retry still goes out.
        {"at a silent address",
         kPoll[1],
         {kPoll[0], "82 A6 05 01 02 03 0D 00 2C", kPoll[1], kPoll[1]},
         {"0"},
         2},
        // Stopped while asking a device for its tag: its row still comes.
        {"at a device's tag",
         "82 A6 05 01 02 05 0D 00 2A",
         {kPoll[0], "82 A6 05 01 02 03 0D 00 2C", kPoll[1], kPoll[1], kPoll[2],
          "82 A6 05 01 02 05 0D 00 2A"},
         {"0", "2"},
         3},
    };
    for (const Case& c : cases) {
        NetworkWindow w({{DeviceModel::Transmitter, 0, false},
                         {DeviceModel::Transmitter, 2, false},
                         {DeviceModel::Transmitter, 4, false}});
        QVERIFY2(w.isOpen(), c.what);
        w.line().takeFrames();
        const QString stopAt = QString::fromLatin1(c.stopAt);
        QObject::connect(&w.form().cycle(), &host::RequestCycle::frameSent, &w.form(),
                         [&](const QByteArray& frame) {
                             const Bytes bytes(frame.begin(), frame.end());
                             if (rig::hexText(bytes).trimmed().endsWith(stopAt))
                                 w.get<QPushButton>("StopScan")->click();
                         });
        QVERIFY2(w.scan(QStringLiteral("0-63")), c.what);
        QStringList addresses;
        for (const Row& r : w.rows())
            addresses << r[0];
        QCOMPARE(addresses, c.addresses);
        QCOMPARE(w.get<QProgressBar>("ScanProgress")->value(), c.progress);
        QCOMPARE(w.get<QProgressBar>("ScanProgress")->maximum(), 64);
        QCOMPARE(w.framesOnLine(), c.frames);
        QVERIFY2(w.get<QPushButton>("ScanNetwork")->isEnabled(), c.what);
        QVERIFY2(!w.get<QPushButton>("StopScan")->isEnabled(), c.what);
        QVERIFY2(w.get<QPushButton>("Button3")->isEnabled(), c.what);
    }
}

void NetworkScanTest::closingThePortEndsTheScan() {
    using sim::DeviceModel;
    NetworkWindow w({{DeviceModel::Transmitter, 0, false}});
    QVERIFY(w.isOpen());
    w.line().takeFrames();
    QObject::connect(
        &w.form().cycle(), &host::RequestCycle::frameSent, &w.form(), [&](const QByteArray& frame) {
            const Bytes bytes(frame.begin(), frame.end());
            if (rig::hexText(bytes).trimmed().endsWith(QLatin1String(kPoll[2])) && w.isOpen())
                w.get<QPushButton>("Button1")->click();
        });
    QVERIFY(w.scan(QStringLiteral("0-63")));
    QVERIFY(!w.isOpen());
    QCOMPARE(w.rows().size(), std::size_t{1});
    // Nothing went out after the close, and the pages are free again: the
    // port-dependent buttons follow the closed port, the device groups the
    // port does not switch are usable.
    QStringList frames = w.framesOnLine();
    while (!frames.isEmpty() && frames.back() == QLatin1String(kPoll[2]))
        frames.removeLast();
    QCOMPARE(frames, (QStringList{kPoll[0], "82 A6 05 01 02 03 0D 00 2C", kPoll[1], kPoll[1]}));
    QVERIFY(!w.get<QPushButton>("ScanNetwork")->isEnabled());
    QVERIFY(!w.get<QPushButton>("StopScan")->isEnabled());
    QVERIFY(!w.get<QPushButton>("Button3")->isEnabled());
    QVERIFY(w.get<QPushButton>("Button48")->isEnabled());
    QCOMPARE(w.get<QLabel>("DeviceStatus")->text(), QStringLiteral("Not connected"));
}

void NetworkScanTest::simulatedNetworkFromThePortList() {
    NetworkWindow w;
    QVERIFY(w.isOpen());
    QVERIFY(w.form().simulatedNetwork());
    QVERIFY(!w.form().simulator()); // the simulated transmitter's entry is a line of its own
    QVERIFY(w.scan(QStringLiteral("0-15")));
    const std::vector<Row> expected{
        {"0", "Rosemount", "05", "010203", "5", "1", "TT100"},
        {"5", "Endress_and_Hauser", "11B7", "3A5C91", "7", "2", kLongTag},
    };
    QCOMPARE(w.rows(), expected);
    // At 1200 baud a reply is still coming in when an address's silence
    // would be up, and is handed over 300 ms after its last byte: the
    // devices are asked once each, not retried over their own replies.
    QStringList want;
    for (int a = 0; a < 16; ++a) {
        want << kPoll[a];
        if (a == 0)
            want << QStringLiteral("82 A6 05 01 02 03 0D 00 2C");
        else if (a == 5)
            want << QStringLiteral("82 91 B7 3A 5C 91 14 00 47");
        else
            want << kPoll[a];
    }
    QCOMPARE(w.framesOnLine(), want);
    // The last reply was the flowmeter's long tag, with "More status available".
    QCOMPARE(w.get<QLabel>("DeviceStatus")->text(), QStringLiteral("More status available"));
    QVERIFY(w.get<QPushButton>("ReadMoreStatus")->font().bold());

    // Double-click: the flowmeter becomes the current device, its identity
    // filled as discovery fills it (17 = 0x11, 183 = 0xB7, 3824785 = 0x3A5C91).
    QVERIFY(w.doubleClickAddress(5));
    QTRY_COMPARE_WITH_TIMEOUT(w.text("Edit1"), QStringLiteral("17"), 10000);
    QCOMPARE(w.text("Edit2"), QStringLiteral("183"));
    QCOMPARE(w.text("Edit3"), QStringLiteral("5"));
    QCOMPARE(w.text("Edit4"), QStringLiteral("3824785"));
    QCOMPARE(w.text("Edit28"), QStringLiteral("3824785"));
    QCOMPARE(w.comboText("ComboBox9"), QStringLiteral("5"));
    QCOMPARE(w.comboText("ComboBox3"), QStringLiteral("5"));
    const auto& b = w.form().cycle().buffer();
    QCOMPARE(int(b[hart::lb::kManufacturer]), 0x11);
    QCOMPARE(int(b[hart::lb::kDeviceType]), 0xB7);
    QCOMPARE(int(b[hart::lb::kDeviceId]), 0x3A);
    QCOMPARE(int(b[hart::lb::kDeviceId + 1]), 0x5C);
    QCOMPARE(int(b[hart::lb::kDeviceId + 2]), 0x91);
    QCOMPARE(int(b[hart::lb::kPollAddress]), 5);
    QCOMPARE(int(b[hart::lb::kPreambles]), 5);

    // Every page now talks to it: command 48 goes to its long address (master
    // bit 0: "First Device"/"Second Device" is still unchosen) and its
    // additional status comes back.
    w.line().takeFrames();
    QVERIFY(w.get<QPushButton>("ReadMoreStatus")->isEnabled());
    w.get<QPushButton>("ReadMoreStatus")->click();
    auto frame = w.line().waitFrame(10000);
    QVERIFY(frame);
    QCOMPARE(rig::hexText(*frame).trimmed(), QStringLiteral("82 11 B7 3A 5C 91 30 00 E3"));
    auto* view = w.get<QPlainTextEdit>("MoreStatusView");
    QTRY_VERIFY_WITH_TIMEOUT(w.form().cycle().replyCode() == 0 && !view->toPlainText().isEmpty(),
                             15000);
    QCOMPARE(view->toPlainText().split(QLatin1Char('\n')).value(1),
             QStringLiteral("Extended device status: 03 (device variable alert, maintenance "
                            "required)"));

    // And the transmitter at 0, a HART 5 device without command 48.
    QVERIFY(w.doubleClickAddress(0));
    QTRY_COMPARE_WITH_TIMEOUT(w.text("Edit1"), QStringLiteral("38"), 10000);
    QCOMPARE(w.text("Edit2"), QStringLiteral("5"));
    QCOMPARE(w.text("Edit4"), QStringLiteral("66051"));
    QCOMPARE(w.comboText("ComboBox9"), QStringLiteral("0"));
    w.line().takeFrames();
    w.get<QPushButton>("ReadMoreStatus")->click();
    frame = w.line().waitFrame(10000);
    QVERIFY(frame);
    QCOMPARE(rig::hexText(*frame).trimmed(), QStringLiteral("82 26 05 01 02 03 30 00 91"));
    QTRY_COMPARE_WITH_TIMEOUT(view->toPlainText(),
                              QStringLiteral("Upload failed! (command not implemented)"), 15000);
    QCOMPARE(w.get<QLabel>("DeviceStatus")->text(), QStringLiteral("OK"));
    QVERIFY(!w.get<QPushButton>("ReadMoreStatus")->font().bold());
}

void NetworkScanTest::throughAHartIpGateway_data() {
    QTest::addColumn<QString>("scheme");
    QTest::newRow("tcp") << "hartip";
    QTest::newRow("udp") << "hartip+udp";
}

// A gateway relays each request to its loop and the device's answer back,
// which takes far longer than a modem's silence: the scan waits the
// server's answer time before it retries, and finds a device that answers
// after 1.5 s, asking it once.
void NetworkScanTest::throughAHartIpGateway() {
    QFETCH(QString, scheme);
    using sim::DeviceModel;
    sim::SimNetwork loop({{DeviceModel::Transmitter, 1, false}});
    loop.setFaults(1, {.replyDelayMs = 1500});
    sim::HartIpServer gateway(sim::answering(loop));
    TForm1 form;
    form.show();
    form.findChild<QComboBox*>(QStringLiteral("SPREALCOM"))
        ->setEditText(QStringLiteral("%1://127.0.0.1:%2").arg(scheme).arg(gateway.port()));
    auto* open = form.findChild<QPushButton*>(QStringLiteral("Button1"));
    open->click();
    QTRY_COMPARE_WITH_TIMEOUT(open->text(), QStringLiteral("Close"), 15000);
    loop.takeFrames();

    auto* range = form.findChild<QComboBox*>(QStringLiteral("ScanRange"));
    range->setCurrentIndex(range->findText(QStringLiteral("0-15")));
    form.findChild<QPushButton*>(QStringLiteral("ScanNetwork"))->click();
    auto* table = form.findChild<QTableWidget*>(QStringLiteral("NetworkTable"));
    QTRY_COMPARE_WITH_TIMEOUT(table->rowCount(), 1, 60000);
    form.findChild<QPushButton*>(QStringLiteral("StopScan"))->click();
    QTRY_VERIFY_WITH_TIMEOUT(range->isEnabled(), 30000);

    QCOMPARE(table->item(0, 0)->text(), QStringLiteral("1"));
    QCOMPARE(table->item(0, 6)->text(), QStringLiteral("TT100"));
    QStringList frames;
    for (const Bytes& f : loop.takeFrames())
        frames << rig::hexText(f).trimmed();
    // The empty address 0 asked twice; the slow device and its tag once
    // each; the stop came while the scan had gone on to address 2, which is
    // asked to its end.
    QCOMPARE(frames, (QStringList{kPoll[0], kPoll[0], kPoll[1], "82 A6 05 01 02 04 0D 00 2B",
                                  kPoll[2], kPoll[2]}));
    open->click();
    QTRY_COMPARE_WITH_TIMEOUT(open->text(), QStringLiteral("Open"), 15000);
}

QTEST_MAIN(NetworkScanTest)
#include "tst_network_scan.moc"
