// "Siemens+KROHNE+ABB Temperature Transmitter": each button's frame on the
// wire, the send view following ShowVendorFrames, each query's acceptance
// rules and code tables with their fall-backs, the KROHNE saved block, the
// KROHNE write's own text for response code 12, and the settings written to
// the simulated device and read back.
//
// The device's long address is 26 05 01 02 03 (05 05 01 02 03 where it poses
// as a KROHNE, manufacturer 0x45); "First Device" is left unchosen, so frames
// carry master bit 0x00. Checksums are hand-computed XORs from the delimiter.

#include "support/window_rig.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
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

Bytes preambled(const char* frame) {
    return concat(Bytes(8, 0xFF), hex(frame));
}

} // namespace

class SiemensKrohneAbbTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void startStateAndPortDependence();
    void requestFrames_data();
    void requestFrames();
    void sendViewFollowsShowVendorFrames();
    void queryReplies_data();
    void queryReplies();
    void writeResults_data();
    void writeResults();
    void krohneSavedBlock();
    void silentDeviceTimesOut();
    void settingsRoundTripOnSimulatedDevice();

private:
    std::unique_ptr<WindowRig> r_;
};

void SiemensKrohneAbbTest::initTestCase() {
    r_ = std::make_unique<WindowRig>();
    QVERIFY(r_->isOpen());
    // The pages of every maker, on the simulated Rosemount transmitter.
    r_->sendToAnyMaker();
    QVERIFY(r_->discover());
}

void SiemensKrohneAbbTest::init() {
    QVERIFY(r_->settle());
}

void SiemensKrohneAbbTest::cleanupTestCase() {
    r_.reset();
}

// ---------------------------------------------------------------- start state

void SiemensKrohneAbbTest::startStateAndPortDependence() {
    WindowRig closed(false);
    // The Siemens buttons follow the port; KROHNE and ABB are always usable.
    for (const char* b : {"Button2", "Button11"})
        QVERIFY2(!closed.get<QPushButton>(b)->isEnabled(), b);
    for (const char* b : {"Button63", "Button64", "Button67", "Button68"})
        QVERIFY2(closed.get<QPushButton>(b)->isEnabled(), b);

    // Every list starts on its first item, so a SET sends what it shows.
    expectShown(closed, {"ComboBox7=PT100，A=385  2 WIRE", "TT50NEXING=00 None", "TT50WAR=00 None",
                         "ABBTTH200NEIXING=00 None", "ABBTTH200WAY=00 None"});
    struct Items {
        const char* combo;
        int count;
        int index;
        const char* text;
    };
    for (const Items& i :
         {Items{"ComboBox7", 4, 2, "T/C，K  2 WIRE"}, Items{"ComboBox7", 4, 3, "T/C，S  2 WIRE"},
          Items{"TT50NEXING", 26, 4, "04-04 PTx, a=385 "},
          Items{"TT50NEXING", 26, 11, "0B_84 T/C typ DIN L "},
          Items{"TT50NEXING", 26, 19, "13_other"}, Items{"TT50NEXING", 26, 25, ""},
          Items{"TT50WAR", 6, 1, "02 二线制"}, Items{"TT50WAR", 6, 3, "04 四线制"},
          Items{"ABBTTH200NEIXING", 38, 20, "20_64 Pt10(IEC751) "},
          Items{"ABBTTH200NEIXING", 38, 37, "37_Other"}, Items{"ABBTTH200WAY", 5, 1, "01 None"},
          Items{"ABBTTH200WAY", 5, 3, "03 三线制"}}) {
        auto* combo = closed.get<QComboBox>(i.combo);
        QCOMPARE(combo->count(), i.count);
        QCOMPARE(combo->itemText(i.index), QString::fromUtf8(i.text));
    }

    // Pressed while the port is closed, a KROHNE query still runs its cycle
    // and times out.
    QVERIFY(closed.click("Button63"));
    QCOMPARE(closed.status(), QStringLiteral("Downloading..."));
    QVERIFY(closed.waitStatus(QStringLiteral("Upload data timeout!")));

    QVERIFY(closed.openPort());
    for (const char* b : {"Button2", "Button11", "Button63", "Button64", "Button67", "Button68"})
        QVERIFY2(closed.get<QPushButton>(b)->isEnabled(), b);
    closed.click("Button1");
    QVERIFY(rig::waitFor([&] { return !closed.isOpen(); }));
    QVERIFY(!closed.get<QPushButton>("Button2")->isEnabled());
    QVERIFY(closed.get<QPushButton>("Button64")->isEnabled());
}

// ---------------------------------------------------------------- frames

void SiemensKrohneAbbTest::requestFrames_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QStringList>("picks");
    QTest::addColumn<Bytes>("frame");
    QTest::addColumn<QString>("status"); // as the simulated device answers

    QTest::newRow("82 26 05 01 02 03 8C 01 00 2C")
        << "Button2" << QStringList{} << hex("82 26 05 01 02 03 8C 01 00 2C") << kUploaded;
    QTest::newRow("82 26 05 01 02 03 8D 03 00 01 02 2C")
        << "Button11" << QStringList{"ComboBox7=0"} << hex("82 26 05 01 02 03 8D 03 00 01 02 2C")
        << kWritten;
    QTest::newRow("82 26 05 01 02 03 8D 03 00 01 04 2A")
        << "Button11" << QStringList{"ComboBox7=1"} << hex("82 26 05 01 02 03 8D 03 00 01 04 2A")
        << kWritten;
    QTest::newRow("82 26 05 01 02 03 8D 03 00 84 02 A9")
        << "Button11" << QStringList{"ComboBox7=2"} << hex("82 26 05 01 02 03 8D 03 00 84 02 A9")
        << kWritten;
    QTest::newRow("82 26 05 01 02 03 8D 03 00 87 02 AA")
        << "Button11" << QStringList{"ComboBox7=3"} << hex("82 26 05 01 02 03 8D 03 00 87 02 AA")
        << kWritten;
    // Nothing chosen: the Siemens write still names a sensor (T/C S, 2 wires).
    QTest::newRow("82 26 05 01 02 03 8D 03 00 87 02 AA (nothing chosen)")
        << "Button11" << QStringList{"ComboBox7=-1"} << hex("82 26 05 01 02 03 8D 03 00 87 02 AA")
        << kWritten;

    // The device is no KROHNE: it answers 130 as an EJA does (five data
    // bytes), which the KROHNE query does not accept.
    QTest::newRow("82 26 05 01 02 03 82 00 23")
        << "Button63" << QStringList{} << hex("82 26 05 01 02 03 82 00 23")
        << QStringLiteral("Upload failed");

    QTest::newRow("82 26 05 01 02 03 BE 01 00 1E")
        << "Button68" << QStringList{} << hex("82 26 05 01 02 03 BE 01 00 1E") << kUploaded;
    QTest::newRow("82 26 05 01 02 03 C3 03 00 0E 02 6D")
        << "Button67" << QStringList{"ABBTTH200NEIXING=6", "ABBTTH200WAY=2"}
        << hex("82 26 05 01 02 03 C3 03 00 0E 02 6D") << kWritten;
    QTest::newRow("82 26 05 01 02 03 C3 03 00 8F 04 EA")
        << "Button67" << QStringList{"ABBTTH200NEIXING=36", "ABBTTH200WAY=4"}
        << hex("82 26 05 01 02 03 C3 03 00 8F 04 EA") << kWritten;
    // "01 None" writes 0x00, like "00 None".
    QTest::newRow("82 26 05 01 02 03 C3 03 00 0B 00 6A")
        << "Button67" << QStringList{"ABBTTH200NEIXING=3", "ABBTTH200WAY=1"}
        << hex("82 26 05 01 02 03 C3 03 00 0B 00 6A") << kWritten;
    // "37_Other", "00 None" and nothing chosen all write 0x00; the simulated
    // device has no sensor 0x00 and refuses it.
    const QString invalid = QStringLiteral("Write failed!Invalid parameter settings!");
    QTest::newRow("82 26 05 01 02 03 C3 03 00 00 00 61 (37_Other)")
        << "Button67" << QStringList{"ABBTTH200NEIXING=37", "ABBTTH200WAY=0"}
        << hex("82 26 05 01 02 03 C3 03 00 00 00 61") << invalid;
    QTest::newRow("82 26 05 01 02 03 C3 03 00 00 00 61 (nothing chosen)")
        << "Button67" << QStringList{"ABBTTH200NEIXING=-1", "ABBTTH200WAY=-1"}
        << hex("82 26 05 01 02 03 C3 03 00 00 00 61") << invalid;
}

void SiemensKrohneAbbTest::requestFrames() {
    QFETCH(QString, button);
    QFETCH(QStringList, picks);
    QFETCH(Bytes, frame);
    QFETCH(QString, status);

    selectAll(*r_, picks);
    QVERIFY(r_->click(button.toLatin1().constData()));
    QCOMPARE(r_->status(), QStringLiteral("Downloading..."));
    const auto wire = r_->nextWire();
    QVERIFY(wire);
    QCOMPARE(*wire, concat(Bytes(8, 0xFF), frame));
    QVERIFY2(r_->waitStatus(status), qPrintable(r_->status()));
}

// Off at start: the send view is emptied. After a click on "Serial Port:"
// every button of the tab shows its frame.
void SiemensKrohneAbbTest::sendViewFollowsShowVendorFrames() {
    WindowRig r;
    r.sendToAnyMaker();
    QVERIFY(r.isOpen());
    QVERIFY(r.discover());
    auto* sendView = r.get<QLineEdit>("discomm");
    struct Press {
        const char* button;
        const char* frame;
    };
    const Press presses[] = {
        {"Button2", "82 26 05 01 02 03 8C 01 00 2C"},
        {"Button11", "82 26 05 01 02 03 8D 03 00 01 02 2C"},
        {"Button63", "82 26 05 01 02 03 82 00 23"},
        {"Button64", "82 26 05 01 02 03 83 0C 00 00 00 00 00 00 00 00 00 00 00 00 2E"},
        {"Button68", "82 26 05 01 02 03 BE 01 00 1E"},
        {"Button67", "82 26 05 01 02 03 C3 03 00 00 00 61"},
    };
    for (const Press& p : presses) {
        selectAll(r, {"ComboBox7=0", "ABBTTH200NEIXING=0", "ABBTTH200WAY=0"});
        sendView->setText(QStringLiteral("previous frame"));
        QVERIFY(r.click(p.button));
        QVERIFY2(sendView->text().isEmpty(), p.button);
        QVERIFY(rig::waitFor([&] { return r.cycle().replyCode() == 0; }));
    }

    QTest::mouseClick(r.get<QLabel>("Label4"), Qt::LeftButton);
    for (const Press& p : presses) {
        selectAll(r, {"ComboBox7=0", "ABBTTH200NEIXING=0", "ABBTTH200WAY=0"});
        sendView->setText(QStringLiteral("previous frame"));
        QVERIFY(r.click(p.button));
        QCOMPARE(sendView->text(), rig::hexText(preambled(p.frame)));
        QVERIFY(rig::waitFor([&] { return r.cycle().replyCode() == 0; }));
    }
}

// ---------------------------------------------------------------- queries

void SiemensKrohneAbbTest::queryReplies_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QStringList>("before"); // selections before the query
    QTest::addColumn<Bytes>("reply");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QStringList>("after");

    // Replies from the device's address, five preambles: K = 4.
    auto longReply = [this](std::uint8_t cmd, const char* data, std::uint8_t rc = 0) {
        return r_->longReply(cmd, hex(data), rc);
    };
    const Bytes garbage = hex("00 13 FF 02 80");

    // Siemens: three data bytes (byte count 5) and a connection byte below 5.
    const QStringList siemensBefore{"ComboBox7=0"};
    QTest::newRow("Siemens 00 84 02") << "Button2" << siemensBefore << longReply(0x8C, "00 84 02")
                                      << kUploaded << QStringList{"ComboBox7=T/C，K  2 WIRE"};
    QTest::newRow("Siemens 00 01 04") << "Button2" << siemensBefore << longReply(0x8C, "00 01 04")
                                      << kUploaded << QStringList{"ComboBox7=PT100，A=385  4 WIRE"};
    QTest::newRow("Siemens 00 87 02") << "Button2" << siemensBefore << longReply(0x8C, "00 87 02")
                                      << kUploaded << QStringList{"ComboBox7=T/C，S  2 WIRE"};
    QTest::newRow("Siemens 00 01 03 (pair not in the list)")
        << "Button2" << siemensBefore << longReply(0x8C, "00 01 03") << kUploaded
        << QStringList{"ComboBox7="};
    QTest::newRow("Siemens response code 7 still decoded")
        << "Button2" << siemensBefore << longReply(0x8C, "00 84 02", 7) << kUploaded
        << QStringList{"ComboBox7=T/C，K  2 WIRE"};
    QTest::newRow("Siemens reply after 20 bytes of noise")
        << "Button2" << siemensBefore << concat(Bytes(20, 0x55), longReply(0x8C, "00 87 02"))
        << kUploaded << QStringList{"ComboBox7=T/C，S  2 WIRE"};
    const QStringList siemensKept{"ComboBox7=PT100，A=385  2 WIRE"};
    QTest::newRow("Siemens 00 01 05 (connection byte 5)")
        << "Button2" << siemensBefore << longReply(0x8C, "00 01 05")
        << QStringLiteral("Upload failed!") << siemensKept;
    QTest::newRow("Siemens byte count 6")
        << "Button2" << siemensBefore << longReply(0x8C, "00 84 02 00")
        << QStringLiteral("Upload failed!") << siemensKept;
    QTest::newRow("Siemens no long reply")
        << "Button2" << siemensBefore << garbage << QStringLiteral("Upload failed!") << siemensKept;

    // KROHNE: byte count 14, start at positions 0..10.
    const QStringList krohneBefore{"TT50NEXING=1", "TT50WAR=1"};
    const QStringList krohneKept{"TT50NEXING=01-01 PT100, a=385", "TT50WAR=02 二线制"};
    const char* block = " 11 22 33 44 55 66 77 88 99 AA";
    auto krohne = [&](const char* two) {
        return longReply(0x82, (std::string(two) + block).c_str());
    };
    QTest::newRow("KROHNE 83 04") << "Button63" << krohneBefore << krohne("83 04") << kUploaded
                                  << QStringList{"TT50NEXING=0A_83 /T/C typ K",
                                                 "TT50WAR=04 四线制"};
    QTest::newRow("KROHNE A0 05") << "Button63" << krohneBefore << krohne("A0 05") << kUploaded
                                  << QStringList{"TT50NEXING=12_A0 T/C typ X",
                                                 "TT50WAR=05 Differential"};
    QTest::newRow("KROHNE 00 01") << "Button63" << krohneBefore << krohne("00 01") << kUploaded
                                  << QStringList{"TT50NEXING=13_other", "TT50WAR=00 None"};
    QTest::newRow("KROHNE 12 10") << "Button63" << krohneBefore << krohne("12 10") << kUploaded
                                  << QStringList{"TT50NEXING=13_other", "TT50WAR=10 SmartSense"};
    QTest::newRow("KROHNE start at position 10")
        << "Button63" << krohneBefore << concat(Bytes(6, 0x00), krohne("87 03")) << kUploaded
        << QStringList{"TT50NEXING=0E_87 T/C typ S", "TT50WAR=03 三线制"};
    QTest::newRow("KROHNE start at position 11")
        << "Button63" << krohneBefore << concat(Bytes(7, 0x00), krohne("87 03"))
        << QStringLiteral("Upload failed") << krohneKept;
    QTest::newRow("KROHNE byte count 13")
        << "Button63" << krohneBefore << longReply(0x82, "87 03 11 22 33 44 55 66 77 88 99")
        << QStringLiteral("Upload failed") << krohneKept;
    QTest::newRow("KROHNE no long reply")
        << "Button63" << krohneBefore << garbage << QStringLiteral("Upload failed") << krohneKept;

    // ABB: byte count 6, start at positions 0..10.
    const QStringList abbBefore{"ABBTTH200NEIXING=1", "ABBTTH200WAY=2"};
    const QStringList abbKept{"ABBTTH200NEIXING=01-01 0..500ohm", "ABBTTH200WAY=02 二线制"};
    QTest::newRow("ABB 00 0E 03 00")
        << "Button68" << abbBefore << longReply(0xBE, "00 0E 03 00") << kUploaded
        << QStringList{"ABBTTH200NEIXING=06_0E PT500(IEC751)", "ABBTTH200WAY=03 三线制"};
    QTest::newRow("ABB 00 8F 04 00")
        << "Button68" << abbBefore << longReply(0xBE, "00 8F 04 00") << kUploaded
        << QStringList{"ABBTTH200NEIXING=36_8F TC type U(DIN4710)", "ABBTTH200WAY=04 四线制"};
    QTest::newRow("ABB 00 00 01 00")
        << "Button68" << abbBefore << longReply(0xBE, "00 00 01 00") << kUploaded
        << QStringList{"ABBTTH200NEIXING=37_Other", "ABBTTH200WAY=00 None"};
    QTest::newRow("ABB 00 10 00 00 (sensor code not in the list)")
        << "Button68" << abbBefore << longReply(0xBE, "00 10 00 00") << kUploaded
        << QStringList{"ABBTTH200NEIXING=", "ABBTTH200WAY=00 None"};
    QTest::newRow("ABB start at position 11")
        << "Button68" << abbBefore << concat(Bytes(7, 0x00), longReply(0xBE, "00 0E 03 00"))
        << QStringLiteral("Upload failed") << abbKept;
    QTest::newRow("ABB byte count 5") << "Button68" << abbBefore << longReply(0xBE, "00 0E 03")
                                      << QStringLiteral("Upload failed") << abbKept;
}

void SiemensKrohneAbbTest::queryReplies() {
    QFETCH(QString, button);
    QFETCH(QStringList, before);
    QFETCH(Bytes, reply);
    QFETCH(QString, status);
    QFETCH(QStringList, after);

    selectAll(*r_, before);
    r_->respondWith(reply);
    QVERIFY(r_->click(button.toLatin1().constData()));
    QVERIFY2(r_->waitStatus(status), qPrintable(r_->status()));
    QVERIFY(rig::waitFor([&] { return r_->cycle().replyCode() == 0; }));
    expectShown(*r_, after);
}

// ---------------------------------------------------------------- write results

void SiemensKrohneAbbTest::writeResults_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<std::uint8_t>("command");
    QTest::addColumn<int>("responseCode"); // -1: no long reply at all
    QTest::addColumn<QString>("status");

    const QString restricted = QStringLiteral("Write failed!The channel is restricted!");
    QTest::newRow("KROHNE 0") << "Button64" << std::uint8_t{0x83} << 0 << kWritten;
    QTest::newRow("KROHNE 12") << "Button64" << std::uint8_t{0x83} << 12
                               << QStringLiteral("Write failed!Invalid parameter settings");
    QTest::newRow("KROHNE 7") << "Button64" << std::uint8_t{0x83} << 7
                              << QStringLiteral("Write failed!Write protected!");
    QTest::newRow("KROHNE 16") << "Button64" << std::uint8_t{0x83} << 16
                               << QStringLiteral("Write failed!Invalid parameter settings!");
    QTest::newRow("KROHNE 0x80") << "Button64" << std::uint8_t{0x83} << 0x80 << restricted;
    QTest::newRow("KROHNE no reply")
        << "Button64" << std::uint8_t{0x83} << -1 << QStringLiteral("Write failed!");
    // Code 12 has the KROHNE text only after a KROHNE write.
    QTest::newRow("ABB 12") << "Button67" << std::uint8_t{0xC3} << 12 << restricted;
    QTest::newRow("Siemens 12") << "Button11" << std::uint8_t{0x8D} << 12 << restricted;
    QTest::newRow("ABB 1") << "Button67" << std::uint8_t{0xC3} << 1
                           << QStringLiteral("Write failed!Instruction not defined!");
}

void SiemensKrohneAbbTest::writeResults() {
    QFETCH(QString, button);
    QFETCH(std::uint8_t, command);
    QFETCH(int, responseCode);
    QFETCH(QString, status);

    r_->respondWith(responseCode < 0
                        ? hex("FF FF FF 06 80 83 02 00 00 81")
                        : r_->longReply(command, {}, static_cast<std::uint8_t>(responseCode)));
    QVERIFY(r_->click(button.toLatin1().constData()));
    QVERIFY2(r_->waitStatus(status), qPrintable(r_->status()));
}

// ---------------------------------------------------------------- KROHNE block

// The ten bytes after sensor and connection of a KROHNE read go back with the
// next write: zeros before any read, replaced only by the next good read, kept
// across closing and opening the port.
void SiemensKrohneAbbTest::krohneSavedBlock() {
    WindowRig r;
    r.sendToAnyMaker();
    QVERIFY(r.isOpen());
    QVERIFY(r.discover());

    const char* firstWrite = "82 26 05 01 02 03 83 0C 83 04 00 00 00 00 00 00 00 00 00 00 A9";
    const char* savedWrite = "82 26 05 01 02 03 83 0C 83 04 DE AD BE EF 01 02 03 04 05 06 8C";
    auto write = [&r](const char* expected) {
        selectAll(r, {"TT50NEXING=10", "TT50WAR=3"}); // "0A_83 /T/C typ K", "04 四线制"
        r.forgetReceived();
        QVERIFY(r.click("Button64"));
        const auto frame = r.nextFrame();
        QVERIFY(frame);
        QCOMPARE(*frame, hex(expected));
        QVERIFY(rig::waitFor([&] { return r.cycle().replyCode() == 0; }));
    };
    auto query = [&r](const char* data, const QString& status) {
        r.respondWith(r.longReply(0x82, hex(data)));
        QVERIFY(r.click("Button63"));
        QVERIFY2(r.waitStatus(status), qPrintable(r.status()));
        QVERIFY(rig::waitFor([&] { return r.cycle().replyCode() == 0; }));
        r.respondWith({});
    };

    write(firstWrite);
    query("01 03 DE AD BE EF 01 02 03 04 05 06", kUploaded);
    expectShown(r, {"TT50NEXING=01-01 PT100, a=385", "TT50WAR=03 三线制"});
    write(savedWrite);

    // Byte count 13: not accepted, the block stays.
    query("01 03 77 77 77 77 77 77 77 77 77", QStringLiteral("Upload failed"));
    write(savedWrite);

    r.click("Button1");
    QVERIFY(rig::waitFor([&] { return !r.isOpen(); }));
    QVERIFY(r.openPort());
    write(savedWrite);
}

// ---------------------------------------------------------------- failures

void SiemensKrohneAbbTest::silentDeviceTimesOut() {
    selectAll(*r_, {"ComboBox7=2"});
    sim::SimFaults silent;
    silent.silent = true;
    r_->device().setFaults(silent);
    QVERIFY(r_->click("Button2"));
    QVERIFY(r_->waitStatus(QStringLiteral("Upload data timeout!")));
    expectShown(*r_, {"ComboBox7=T/C，K  2 WIRE"});
    // Once the device speaks again, the next query is decoded as usual.
    r_->device().setFaults({});
    r_->respondWith(r_->longReply(0x8C, hex("00 01 04")));
    QVERIFY(r_->click("Button2"));
    QVERIFY(r_->waitStatus(kUploaded));
}

// ---------------------------------------------------------------- simulated device

// A new user's session against the simulated transmitter, posing as a KROHNE
// so that command 130 is answered in the KROHNE layout.
void SiemensKrohneAbbTest::settingsRoundTripOnSimulatedDevice() {
    WindowRig r;
    r.sendToAnyMaker();
    r.device().withState([](sim::SimState& s) { s.manufacturer = 0x45; });
    QVERIFY(r.isOpen());
    QVERIFY(r.discover());

    auto press = [&r](const char* button, const QString& status) {
        QVERIFY(r.click(button));
        QVERIFY2(r.waitStatus(status), qPrintable(button + (": " + r.status())));
        QVERIFY(rig::waitFor([&] { return r.cycle().replyCode() == 0; }));
    };

    // KROHNE: read, change, write (the device's own block goes back), read.
    press("Button63", kUploaded);
    expectShown(r, {"TT50NEXING=01-01 PT100, a=385", "TT50WAR=03 三线制"});
    selectAll(r, {"TT50NEXING=14", "TT50WAR=3"});
    r.forgetReceived();
    press("Button64", kWritten);
    QCOMPARE(r.device().takeFrames().back(),
             hex("82 05 05 01 02 03 83 0C 87 04 C3 48 00 00 44 7A 00 00 05 01 3F"));
    selectAll(r, {"TT50NEXING=0", "TT50WAR=0"});
    press("Button63", kUploaded);
    expectShown(r, {"TT50NEXING=0E_87 T/C typ S", "TT50WAR=04 四线制"});
    // A sensor of "00 None" is refused with the KROHNE code 12.
    selectAll(r, {"TT50NEXING=0", "TT50WAR=1"});
    press("Button64", QStringLiteral("Write failed!Invalid parameter settings"));

    // ABB
    press("Button68", kUploaded);
    expectShown(r, {"ABBTTH200NEIXING=05_0D PT100(IEC751)", "ABBTTH200WAY=03 三线制"});
    selectAll(r, {"ABBTTH200NEIXING=30", "ABBTTH200WAY=2"});
    press("Button67", kWritten);
    selectAll(r, {"ABBTTH200NEIXING=0", "ABBTTH200WAY=0"});
    press("Button68", kUploaded);
    expectShown(r, {"ABBTTH200NEIXING=30_89 TC type K(ICE584)", "ABBTTH200WAY=02 二线制"});

    // Siemens
    press("Button2", kUploaded);
    expectShown(r, {"ComboBox7=PT100，A=385  4 WIRE"});
    selectAll(r, {"ComboBox7=2"});
    press("Button11", kWritten);
    selectAll(r, {"ComboBox7=0"});
    press("Button2", kUploaded);
    expectShown(r, {"ComboBox7=T/C，K  2 WIRE"});
}

QTEST_MAIN(SiemensKrohneAbbTest)
#include "tst_temperature_siemens_krohne_abb.moc"
