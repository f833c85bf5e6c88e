// "DP & MV Transmitter": each button's frame on the wire and what it leaves in
// the send view, the 300SMV variable and display bytes both ways, the EJA
// display bytes (0xFA for "no display"), the EJA zero cutoff and mode, the
// conversion error that sends nothing, which buttons follow the port, and the
// settings written to the simulated device and read back.
//
// The device's long address is 26 05 01 02 03; "First Device" is left
// unchosen, so frames carry master bit 0x00. Checksums are hand-computed XORs
// from the delimiter; floats are written next to their bytes.

#include "support/window_rig.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <memory>

using rig::Bytes;
using rig::concat;
using rig::expectShown;
using rig::hex;
using rig::selectAll;
using rig::WindowRig;

namespace {

const QString kUploaded = QStringLiteral("Upload successful!");
const QString kWritten = QStringLiteral("Write successful!");
const QString kFailed = QStringLiteral("Upload failed!");
const QString kPrevious = QStringLiteral("previous frame");

constexpr const char* kDisplayLists[] = {"ComboBox33", "ComboBox34", "ComboBox30", "ComboBox31",
                                         "ComboBox32", "ComboBox29", "ComboBox28", "ComboBox27"};

QStringList allDisplay(int position) {
    QStringList out;
    for (const char* c : kDisplayLists)
        out << QStringLiteral("%1=%2").arg(c).arg(position);
    return out;
}

// The eight display lists, Totalizer first, as "ON"/"OFF" texts.
QStringList displayShown(const char* onOff) {
    QStringList out;
    for (int i = 0; i < 8; ++i)
        out << QStringLiteral("%1=%2").arg(
            kDisplayLists[i], onOff[i] == '1' ? QStringLiteral("ON") : QStringLiteral("OFF"));
    return out;
}

} // namespace

class DpMvTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void startStateAndPortDependence();
    void requestFrames_data();
    void requestFrames();
    void sendViewIgnoresShowVendorFrames();
    void queryReplies_data();
    void queryReplies();
    void cutoffThatIsNoNumberSendsNothing_data();
    void cutoffThatIsNoNumberSendsNothing();
    void writeRefusedByDevice();
    void silentDeviceTimesOut();
    void settingsRoundTripOnSimulatedDevice();

private:
    std::unique_ptr<WindowRig> r_;
};

void DpMvTest::initTestCase() {
    r_ = std::make_unique<WindowRig>();
    QVERIFY(r_->isOpen());
    // The pages of every maker, on the simulated Rosemount transmitter.
    r_->sendToAnyMaker();
    QVERIFY(r_->discover());
}

void DpMvTest::init() {
    QVERIFY(r_->settle());
}

void DpMvTest::cleanupTestCase() {
    r_.reset();
}

// ---------------------------------------------------------------- start state

void DpMvTest::startStateAndPortDependence() {
    WindowRig closed(false);
    for (const char* b : {"Button42", "Button44", "Button45", "Button46", "Button47"})
        QVERIFY2(!closed.get<QPushButton>(b)->isEnabled(), b);
    for (const char* b : {"Button48", "Button49", "Button50", "Button51"})
        QVERIFY2(closed.get<QPushButton>(b)->isEnabled(), b);

    expectShown(closed, {"ComboBox23=defferential pressure", "ComboBox26=defferential pressure",
                         "EJAXIANS1=00Pres", "EJAXIANS4=00Pres", "EJAMODEM=0linear mode",
                         "EJAlingdian=EJAlingdian"});
    expectShown(closed, displayShown("00000000"));
    // The page's tab shows its caption with the ampersand, not as a shortcut.
    auto* pages = closed.get<QTabWidget>("PageControl2");
    const int page = pages->indexOf(closed.get<QWidget>("TabSheet1"));
    QCOMPARE(pages->tabText(page), QStringLiteral("DP && MV Transmitter"));

    auto* variable = closed.get<QComboBox>("ComboBox25");
    QCOMPARE(variable->count(), 8);
    QCOMPARE(variable->itemText(7), QStringLiteral("Total flow"));
    auto* eja = closed.get<QComboBox>("EJAXIANS3");
    QCOMPARE(eja->count(), 6);
    QCOMPARE(eja->itemText(5), QStringLiteral("05不显示"));

    // The EJA buttons run their cycle with the port closed and time out.
    QVERIFY(closed.click("Button50"));
    QCOMPARE(closed.status(), QStringLiteral("Downloading..."));
    QVERIFY(closed.waitStatus(QStringLiteral("Upload data timeout!")));

    QVERIFY(closed.openPort());
    for (const char* b : {"Button42", "Button44", "Button45", "Button46", "Button47", "Button48",
                          "Button49", "Button50", "Button51"})
        QVERIFY2(closed.get<QPushButton>(b)->isEnabled(), b);
}

// ---------------------------------------------------------------- frames

void DpMvTest::requestFrames_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QStringList>("picks");
    QTest::addColumn<QString>("cutoff");
    QTest::addColumn<int>("pvUnit"); // the primary-variable unit the system last learned
    QTest::addColumn<Bytes>("frame");
    QTest::addColumn<bool>("shown");     // false: the send view keeps its text
    QTest::addColumn<QString>("status"); // as the simulated device answers

    const QString none;
    auto row = [&](const char* frame, const char* button, const QStringList& picks, bool shown,
                   const QString& status) {
        QTest::newRow(frame) << button << picks << none << 0 << hex(frame) << shown << status;
    };

    row("82 26 05 01 02 03 2B 00 8A", "Button42", {}, true, kWritten);

    row("82 26 05 01 02 03 32 00 93", "Button44", {}, false, kUploaded);
    // flow, process tempter, Gage pressure, Total flow
    row("82 26 05 01 02 03 33 04 05 03 02 07 95", "Button45",
        {"ComboBox23=5", "ComboBox24=3", "ComboBox25=2", "ComboBox26=7"}, false, kWritten);
    // Nothing chosen goes out as position -1, the byte FF, which the device
    // refuses.
    row("82 26 05 01 02 03 33 04 FF 00 00 00 69", "Button45",
        {"ComboBox23=-1", "ComboBox24=0", "ComboBox25=0", "ComboBox26=0"}, false,
        QStringLiteral("Write failed!Invalid parameter settings!"));

    row("82 26 05 01 02 03 BC 00 1D", "Button47", {}, false, kUploaded);
    row("82 26 05 01 02 03 BD 02 01 7F 60", "Button46", allDisplay(1), false, kWritten);
    row("82 26 05 01 02 03 BD 02 00 00 1E", "Button46", allDisplay(0), false, kWritten);
    // Totalizer and flow rate count as shown unless "OFF"; the others only at "ON".
    row("82 26 05 01 02 03 BD 02 01 40 5F", "Button46", allDisplay(-1), false, kWritten);
    row("82 26 05 01 02 03 BD 02 00 01 1F", "Button46",
        allDisplay(0) << QStringLiteral("ComboBox27=1"), false, kWritten);
    row("82 26 05 01 02 03 BD 02 00 10 0E", "Button46",
        allDisplay(0) << QStringLiteral("ComboBox31=1"), false, kWritten);

    row("82 26 05 01 02 03 98 00 39", "Button48", {}, false, kUploaded);
    // 00Pres, 03SP, 05不显示, 01pres%, then 00 00 01 02 01 and eight blanks.
    row("82 26 05 01 02 03 99 11 00 03 FA 01 00 00 01 02 01 20 20 20 20 20 20 20 20 D3", "Button49",
        {"EJAXIANS1=0", "EJAXIANS2=3", "EJAXIANS3=5", "EJAXIANS4=1"}, true, kWritten);
    row("82 26 05 01 02 03 99 11 00 FF 00 00 00 00 01 02 01 20 20 20 20 20 20 20 20 D4", "Button49",
        {"EJAXIANS1=0", "EJAXIANS2=-1", "EJAXIANS3=0", "EJAXIANS4=0"}, true,
        QStringLiteral("Write failed!Invalid parameter settings!"));

    row("82 26 05 01 02 03 82 00 23", "Button50", {}, true, kUploaded);
    // Unit byte, then the cutoff: 0.5 = 3F 00 00 00, 4.2 = 40 86 66 66,
    // -1.5 = BF C0 00 00.
    QTest::newRow("82 26 05 01 02 03 83 05 00 3F 00 00 00 18")
        << "Button51" << QStringList{} << "0.5" << 0
        << hex("82 26 05 01 02 03 83 05 00 3F 00 00 00 18") << true << kWritten;
    QTest::newRow("82 26 05 01 02 03 83 05 0C 40 86 66 66 ED")
        << "Button51" << QStringList{} << "4.2" << 12
        << hex("82 26 05 01 02 03 83 05 0C 40 86 66 66 ED") << true << kWritten;
    QTest::newRow("82 26 05 01 02 03 83 05 20 BF C0 00 00 78")
        << "Button51" << QStringList{} << "-1.5" << 32
        << hex("82 26 05 01 02 03 83 05 20 BF C0 00 00 78") << true << kWritten;
}

void DpMvTest::requestFrames() {
    QFETCH(QString, button);
    QFETCH(QStringList, picks);
    QFETCH(QString, cutoff);
    QFETCH(int, pvUnit);
    QFETCH(Bytes, frame);
    QFETCH(bool, shown);
    QFETCH(QString, status);

    selectAll(*r_, picks);
    if (!cutoff.isEmpty()) r_->setText("EJAlingdian", cutoff);
    r_->cycle().buffer()[hart::lb::kPvUnit] = static_cast<std::uint8_t>(pvUnit);
    auto* sendView = r_->get<QLineEdit>("discomm");
    sendView->setText(kPrevious);

    QVERIFY(r_->click(button.toLatin1().constData()));
    QCOMPARE(r_->status(), QStringLiteral("Downloading..."));
    const Bytes wire = concat(Bytes(8, 0xFF), frame);
    QCOMPARE(sendView->text(), shown ? rig::hexText(wire) : kPrevious);
    const auto received = r_->nextWire();
    QVERIFY(received);
    QCOMPARE(*received, wire);
    QVERIFY2(r_->waitStatus(status), qPrintable(r_->status()));
}

// The page's send-view rules stay as they are once ShowVendorFrames is on.
void DpMvTest::sendViewIgnoresShowVendorFrames() {
    QTest::mouseClick(r_->get<QLabel>("Label4"), Qt::LeftButton);
    QVERIFY(r_->cycle().showVendorFrames());
    auto* sendView = r_->get<QLineEdit>("discomm");
    r_->setText("EJAlingdian", QStringLiteral("1"));
    for (const char* b : {"Button44", "Button45", "Button46", "Button47", "Button48"}) {
        sendView->setText(kPrevious);
        QVERIFY(r_->click(b));
        QCOMPARE(sendView->text(), kPrevious);
        QVERIFY(rig::waitFor([&] { return r_->cycle().replyCode() == 0; }));
    }
    for (const char* b : {"Button42", "Button49", "Button50", "Button51"}) {
        sendView->setText(kPrevious);
        QVERIFY(r_->click(b));
        QVERIFY2(sendView->text().startsWith(QStringLiteral("FF FF FF FF FF FF FF FF 82 26 ")), b);
        QVERIFY(rig::waitFor([&] { return r_->cycle().replyCode() == 0; }));
    }
}

// ---------------------------------------------------------------- queries

void DpMvTest::queryReplies_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<Bytes>("reply");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QStringList>("after");

    auto longReply = [this](std::uint8_t cmd, const char* data, std::uint8_t rc = 0) {
        return r_->longReply(cmd, hex(data), rc);
    };
    const Bytes noise = hex("00 13 FF 02 80 32 00");

    // 300SMV variables: positions.
    const QStringList variablesBefore{"ComboBox23=1", "ComboBox24=1", "ComboBox25=1",
                                      "ComboBox26=1"};
    QTest::newRow("1150 05 03 02 07")
        << "Button44" << variablesBefore << longReply(0x32, "05 03 02 07") << kUploaded
        << QStringList{"ComboBox23=flow", "ComboBox24=process tempter", "ComboBox25=Gage pressure",
                       "ComboBox26=Total flow"};
    QTest::newRow("1150 00 08 06 FF")
        << "Button44" << variablesBefore << longReply(0x32, "00 08 06 FF") << kUploaded
        << QStringList{"ComboBox23=defferential pressure", "ComboBox24=", "ComboBox25=Energy FLow",
                       "ComboBox26="};
    // Response code and byte count are not looked at.
    // A reply carrying fewer data bytes than the reader reads shows nothing
    // past its own data, whatever follows it on the line: the response code
    // says why.
    QTest::newRow("1150 response code 5, one data byte")
        << "Button44" << variablesBefore << concat(longReply(0x32, "04", 5), hex("00 00 00 00"))
        << QStringLiteral("Upload failed! (too few data bytes received)")
        << QStringList{"ComboBox23=absolute pressure", "ComboBox24=absolute pressure"};
    QTest::newRow("1150 no long reply")
        << "Button44" << variablesBefore << noise << kFailed
        << QStringList{"ComboBox23=absolute pressure", "ComboBox26=absolute pressure"};
    QTest::newRow("1150 three bytes") << "Button44" << variablesBefore << hex("FF FF 86") << kFailed
                                      << QStringList{"ComboBox23=absolute pressure"};

    // 300SMV display: Totalizer, Flow_Rate, Output, Module, Proces, Gage, Abso, Differ.
    const QStringList displayBefore = allDisplay(1);
    QTest::newRow("1188 01 55") << "Button47" << displayBefore << longReply(0xBC, "01 55")
                                << kUploaded << displayShown("11010101");
    QTest::newRow("1188 FE 80") << "Button47" << displayBefore << longReply(0xBC, "FE 80")
                                << kUploaded << displayShown("00000000");
    QTest::newRow("1188 00 3F") << "Button47" << displayBefore << longReply(0xBC, "00 3F")
                                << kUploaded << displayShown("00111111");
    QTest::newRow("1188 no long reply")
        << "Button47" << displayBefore << noise << kFailed << displayShown("11111111");

    // EJA display: FA is "no display", other bytes are positions.
    const QStringList ejaBefore{"EJAXIANS1=2", "EJAXIANS2=2", "EJAXIANS3=2", "EJAXIANS4=2"};
    QTest::newRow("1191 00 03 FA 01")
        << "Button48" << ejaBefore << longReply(0x98, "00 03 FA 01") << kUploaded
        << QStringList{"EJAXIANS1=00Pres", "EJAXIANS2=03SP", "EJAXIANS3=05不显示",
                       "EJAXIANS4=01pres%"};
    QTest::newRow("1191 05 04 06 FF")
        << "Button48" << ejaBefore << longReply(0x98, "05 04 06 FF") << kUploaded
        << QStringList{"EJAXIANS1=05不显示", "EJAXIANS2=04SP%", "EJAXIANS3=", "EJAXIANS4="};
    QTest::newRow("1191 no long reply")
        << "Button48" << ejaBefore << noise << kFailed << QStringList{"EJAXIANS1=02Engr.pRES"};

    // EJA zero settings: cutoff (FloatText cut to 5 characters), then the mode.
    const QStringList zeroBefore{"EJAMODEM=1"};
    QTest::newRow("1193 3F 00 00 00 01 (0.5)")
        << "Button50" << zeroBefore << longReply(0x82, "3F 00 00 00 01") << kUploaded
        << QStringList{"EJAlingdian=0.5", "EJAMODEM=1Zero mode"};
    QTest::newRow("1193 41 45 87 94 00 (12.3456)")
        << "Button50" << zeroBefore << longReply(0x82, "41 45 87 94 00") << kUploaded
        << QStringList{"EJAlingdian=12.34", "EJAMODEM=0linear mode"};
    QTest::newRow("1193 40 86 66 66 02 (4.2)")
        << "Button50" << zeroBefore << longReply(0x82, "40 86 66 66 02") << kUploaded
        << QStringList{"EJAlingdian=4.199", "EJAMODEM="};
    QTest::newRow("1193 C2 C8 00 00 00 (-100)")
        << "Button50" << zeroBefore << longReply(0x82, "C2 C8 00 00 00") << kUploaded
        << QStringList{"EJAlingdian=-100", "EJAMODEM=0linear mode"};
    QTest::newRow("1193 no long reply")
        << "Button50" << zeroBefore << noise << kFailed
        << QStringList{"EJAlingdian=unchanged", "EJAMODEM=1Zero mode"};
}

void DpMvTest::queryReplies() {
    QFETCH(QString, button);
    QFETCH(QStringList, before);
    QFETCH(Bytes, reply);
    QFETCH(QString, status);
    QFETCH(QStringList, after);

    selectAll(*r_, before);
    r_->setText("EJAlingdian", QStringLiteral("unchanged"));
    r_->respondWith(reply);
    QVERIFY(r_->click(button.toLatin1().constData()));
    QVERIFY2(r_->waitStatus(status), qPrintable(r_->status()));
    QVERIFY(rig::waitFor([&] { return r_->cycle().replyCode() == 0; }));
    expectShown(*r_, after);
}

// ---------------------------------------------------------------- failures

void DpMvTest::cutoffThatIsNoNumberSendsNothing_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("EJAlingdian") << QStringLiteral("EJAlingdian"); // the field's first text
    QTest::newRow("empty") << QString();
    QTest::newRow("1.2.3") << QStringLiteral("1.2.3");
    QTest::newRow("-") << QStringLiteral("-");
}

void DpMvTest::cutoffThatIsNoNumberSendsNothing() {
    QFETCH(QString, text);
    r_->setText("EJAlingdian", text);
    const QString sent = r_->get<QLabel>("Label56")->text();

    QVERIFY(r_->click("Button51"));
    QCOMPARE(r_->takeErrorBox(),
             QStringLiteral("'%1' is not a valid floating point value.").arg(text));
    QCOMPARE(r_->status(), QStringLiteral("Downloading..."));
    QCOMPARE(r_->get<QLabel>("Label56")->text(), sent);
    QCOMPARE(r_->cycle().replyCode(), 0);
    // The next frame the device sees is the next request's.
    QVERIFY(r_->click("Button48"));
    const auto frame = r_->nextFrame();
    QVERIFY(frame);
    QCOMPARE(*frame, hex("82 26 05 01 02 03 98 00 39"));
}

void DpMvTest::writeRefusedByDevice() {
    r_->respondWith(r_->longReply(0x99, {}, 7));
    QVERIFY(r_->click("Button49"));
    QVERIFY(r_->waitStatus(QStringLiteral("Write failed!Write protected!")));
    r_->respondWith(hex("FF FF 06 80 99 02 00 00 1D"));
    QVERIFY(r_->click("Button45"));
    QVERIFY(r_->waitStatus(QStringLiteral("Write failed!")));
}

void DpMvTest::silentDeviceTimesOut() {
    selectAll(*r_, {"ComboBox23=4"});
    sim::SimFaults silent;
    silent.silent = true;
    r_->device().setFaults(silent);
    QVERIFY(r_->click("Button44"));
    QVERIFY(r_->waitStatus(QStringLiteral("Upload data timeout!")));
    expectShown(*r_, {"ComboBox23=modul tempter"});
    // Once the device speaks again, the next query is decoded as usual.
    r_->device().setFaults({});
    r_->respondWith(r_->longReply(0x32, hex("07 06 05 04")));
    QVERIFY(r_->click("Button44"));
    QVERIFY(r_->waitStatus(kUploaded));
    QVERIFY(rig::waitFor([&] { return r_->cycle().replyCode() == 0; }));
    expectShown(*r_, {"ComboBox23=Total flow"});
}

// ---------------------------------------------------------------- simulated device

// A new user's session against the simulated transmitter: every group reads
// what the device holds, writes a change and reads it back.
void DpMvTest::settingsRoundTripOnSimulatedDevice() {
    WindowRig r;
    r.sendToAnyMaker();
    QVERIFY(r.isOpen());
    QVERIFY(r.discover());
    auto press = [&r](const char* button, const QString& status) {
        QVERIFY(r.click(button));
        QVERIFY2(r.waitStatus(status), qPrintable(button + (": " + r.status())));
        QVERIFY(rig::waitFor([&] { return r.cycle().replyCode() == 0; }));
    };

    press("Button42", kWritten);

    press("Button44", kUploaded);
    expectShown(r, {"ComboBox23=defferential pressure", "ComboBox24=absolute pressure",
                    "ComboBox25=process tempter", "ComboBox26=flow"});
    selectAll(r, {"ComboBox23=5", "ComboBox24=3", "ComboBox25=2", "ComboBox26=7"});
    press("Button45", kWritten);
    selectAll(r, {"ComboBox23=0", "ComboBox24=0", "ComboBox25=0", "ComboBox26=0"});
    press("Button44", kUploaded);
    expectShown(r, {"ComboBox23=flow", "ComboBox24=process tempter", "ComboBox25=Gage pressure",
                    "ComboBox26=Total flow"});

    press("Button47", kUploaded);
    expectShown(r, displayShown("11001001")); // 01 49
    selectAll(r, allDisplay(1));
    press("Button46", kWritten);
    selectAll(r, allDisplay(0));
    press("Button47", kUploaded);
    expectShown(r, displayShown("11111111"));

    press("Button48", kUploaded);
    expectShown(r,
                {"EJAXIANS1=00Pres", "EJAXIANS2=01pres%", "EJAXIANS3=03SP", "EJAXIANS4=05不显示"});
    selectAll(r, {"EJAXIANS1=4", "EJAXIANS2=5", "EJAXIANS3=2", "EJAXIANS4=0"});
    press("Button49", kWritten);
    press("Button48", kUploaded);
    expectShown(
        r, {"EJAXIANS1=04SP%", "EJAXIANS2=05不显示", "EJAXIANS3=02Engr.pRES", "EJAXIANS4=00Pres"});

    press("Button50", kUploaded);
    expectShown(r, {"EJAlingdian=0.5", "EJAMODEM=0linear mode"});
    r.setText("EJAlingdian", QStringLiteral("1.25"));
    press("Button51", kWritten);
    r.setText("EJAlingdian", QString());
    press("Button50", kUploaded);
    expectShown(r, {"EJAlingdian=1.25"});
}

QTEST_MAIN(DpMvTest)
#include "tst_dp_mv.moc"
