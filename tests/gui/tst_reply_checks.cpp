// Damaged replies through the real window on a pty: a reply with one bit
// flipped (its checksum no longer matches), a reply cut short (its byte count
// runs past the bytes received) and an error reply shorter than its reader
// reads, for each kind of reader: a query (command 15), a write result
// (Backup, command 39), a device list reader (KROHNE TT50C) and discovery
// (a short frame). None of them may show a value: each row checks the status
// line and the fields as the reader's failure step leaves them, and that the
// work area's caches the reader fills on success are untouched.
//
// Each row first lets the same button succeed, so the receive area holds a
// good earlier reply whose bytes a careless reader would show; then fields
// get known texts and selections; then the damaged reply comes.

#include "support/window_rig.h"

#include "hart/link_buffer.h"

#include <QTest>

#include <algorithm>
#include <memory>
#include <vector>

using rig::Bytes;
using rig::concat;
using rig::expectShown;
using rig::hex;
using rig::WindowRig;

namespace {

// The frame with its checksum (XOR from the delimiter on) appended.
Bytes withChecksum(const Bytes& frame) {
    const auto delimiter =
        std::find_if(frame.begin(), frame.end(), [](auto b) { return b != 0xFF; });
    std::uint8_t x = 0;
    for (auto it = delimiter; it != frame.end(); ++it)
        x ^= *it;
    return concat(frame, {x});
}

// `bit` flipped in the byte `fromEnd` places before the end (1: the checksum).
Bytes flipped(Bytes frame, std::size_t fromEnd, std::uint8_t bit = 0x10) {
    frame[frame.size() - fromEnd] ^= bit;
    return frame;
}

Bytes cut(Bytes frame, std::size_t dropped) {
    frame.resize(frame.size() - dropped);
    return frame;
}

// Command 15 data: alarm 0, linear, degC, 100.0, 0.0, 0.4 s, not protected,
// reserved, manufacturer 0x26 (Rosemount).
const Bytes kOutputData = hex("00 00 20 42 C8 00 00 00 00 00 00 3E CC CC CD 00 FA 26");
// Command 0 data: 254, manufacturer 0x26, type 0x05, 5 preambles, revisions,
// flags, device ID 01 02 03.
const Bytes kIdentityData = hex("FE 26 05 05 05 01 01 00 00 01 02 03");

// Short reply to command 0 from polling address 0 to the primary master.
Bytes identityReply(std::uint8_t responseCode, const Bytes& data) {
    return withChecksum(
        concat(hex("FF FF FF FF FF 06 80 00"),
               concat({static_cast<std::uint8_t>(data.size() + 2), responseCode, 0x00}, data)));
}

const QString kOutputFields = "ComboBox1=;Edit14=;Edit15=;Edit16=;ComboBox2=";

} // namespace

class ReplyChecksTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void damagedReplyShowsNothing_data();
    void damagedReplyShowsNothing();

private:
    std::unique_ptr<WindowRig> r_;
};

void ReplyChecksTest::initTestCase() {
    r_ = std::make_unique<WindowRig>();
    QVERIFY(r_->isOpen());
    r_->select("ComboBox8", 0);
    // The pages of every maker, on the simulated Rosemount transmitter.
    r_->sendToAnyMaker();
    QVERIFY(r_->discover());
}

void ReplyChecksTest::init() {
    QVERIFY(r_->settle());
}

void ReplyChecksTest::cleanupTestCase() {
    r_.reset();
}

void ReplyChecksTest::damagedReplyShowsNothing_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<Bytes>("earlier");      // a good reply first (empty: the device's own)
    QTest::addColumn<QStringList>("typed");  // "edit=text" before the damaged reply
    QTest::addColumn<QStringList>("picked"); // "list=position"
    QTest::addColumn<Bytes>("reply");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QStringList>("shown"); // "field=text" after it
    QTest::addColumn<int>("cacheFrom");     // work-area bytes the reader fills on success
    QTest::addColumn<int>("cacheLength");

    WindowRig& r = *r_;
    const QStringList none;

    // ---- Query: "Signal Status" (command 15); its failure step empties
    // range, unit, damping and transfer function.
    const QStringList outputTyped{"Edit14=111", "Edit15=222", "Edit16=3.3"};
    const QStringList outputPicked{"ComboBox1=5", "ComboBox2=1"};
    const QStringList outputEmpty = kOutputFields.split(';');
    const Bytes output = r.longReply(15, kOutputData);
    const QString failed = "Upload failed! (%1)";
    QTest::newRow("command 15, upper range bit flipped")
        << "Button13" << Bytes{} << outputTyped << outputPicked << flipped(output, 14)
        << failed.arg("reply checksum wrong") << outputEmpty << 0 << 0;
    QTest::newRow("command 15, checksum bit flipped")
        << "Button13" << Bytes{} << outputTyped << outputPicked << flipped(output, 1, 0x01)
        << failed.arg("reply checksum wrong") << outputEmpty << 0 << 0;
    QTest::newRow("command 15, last four bytes missing")
        << "Button13" << Bytes{} << outputTyped << outputPicked << cut(output, 4)
        << failed.arg("reply byte count past the bytes received") << outputEmpty << 0 << 0;
    QTest::newRow("command 15, status bytes only, command not implemented")
        << "Button13" << Bytes{} << outputTyped << outputPicked << r.longReply(15, {}, 64)
        << failed.arg("command not implemented") << outputEmpty << 0 << 0;
    QTest::newRow("command 15, three data bytes, invalid selection")
        << "Button13" << Bytes{} << outputTyped << outputPicked
        << r.longReply(15, hex("00 00 20"), 2) << failed.arg("invalid selection") << outputEmpty
        << 0 << 0;

    // ---- Write result: Backup (command 39). The earlier reply has one
    // preamble, so receive byte 9 holds its response code 00: a reply cut
    // after its byte count once read that stale 00 as success.
    const Bytes backup = r.longReply(39, hex("00"));
    const Bytes backupOnePreamble(backup.begin() + 4, backup.end()); // 4 of 5 preambles dropped
    const QString writeFailed = "Write failed! (%1)";
    QTest::newRow("Backup, 9 bytes: FF 86 A6 05 01 02 03 27 03")
        << "Button21" << backupOnePreamble << none << none << hex("FF 86 A6 05 01 02 03 27 03")
        << writeFailed.arg("reply byte count past the bytes received") << none << 0 << 0;
    QTest::newRow("Backup, data bit flipped")
        << "Button21" << backupOnePreamble << none << none << flipped(backupOnePreamble, 2)
        << writeFailed.arg("reply checksum wrong") << none << 0 << 0;
    QTest::newRow("Backup, status bytes only, command not implemented")
        << "Button21" << backupOnePreamble << none << none << r.longReply(39, {}, 64)
        << "Write failed!The channel is restricted!" << none << 0 << 0;

    // ---- Device list reader: KROHNE TT50C (byte count 14 within the first
    // 11 bytes). No failure step: the lists keep their choice, and the ten
    // bytes the write sends back keep the last good read.
    const QStringList krohnePicked{"TT50NEXING=3", "TT50WAR=2"};
    const QStringList krohneShown{QString::fromUtf8("TT50NEXING=03-03 D100, a=392"),
                                  QString::fromUtf8("TT50WAR=03 三线制")};
    const Bytes krohneGood = r.longReply(130, hex("01 04 A0 A1 A2 A3 A4 A5 A6 A7 A8 A9"));
    const Bytes krohne = r.longReply(130, hex("02 03 B0 B1 B2 B3 B4 B5 B6 B7 B8 B9"));
    const QString krohneFailed = "Upload failed (%1)";
    QTest::newRow("KROHNE, sensor code bit flipped")
        << "Button63" << krohneGood << none << krohnePicked << flipped(krohne, 13)
        << krohneFailed.arg("reply checksum wrong") << krohneShown << hart::lb::kKrohneSaved << 10;
    QTest::newRow("KROHNE, last three bytes missing")
        << "Button63" << krohneGood << none << krohnePicked << cut(krohne, 3)
        << krohneFailed.arg("reply byte count past the bytes received") << krohneShown
        << hart::lb::kKrohneSaved << 10;
    // A reply without the 14-byte count is not the KROHNE reply at all.
    QTest::newRow("KROHNE, status bytes only, command not implemented")
        << "Button63" << krohneGood << none << krohnePicked << r.longReply(130, {}, 64)
        << "Upload failed" << krohneShown << hart::lb::kKrohneSaved << 10;

    // ---- Discovery: a short frame. The failure step empties the identity
    // and puts the address list back to 0; the cached long address (304..314)
    // and the serial number field keep what the good reply gave.
    const QStringList identityTyped{"Edit1=old", "Edit2=old", "Edit3=old", "Edit4=old",
                                    "Edit28=old"};
    const QStringList identityShown{
        "Edit1=", "Edit2=", "Edit3=", "Edit4=", "ComboBox9=0", "Edit28=old"};
    const Bytes identity = identityReply(0, kIdentityData);
    const int cacheFrom = hart::lb::kManufacturer;
    const int cacheLength = hart::lb::kDeviceType - hart::lb::kManufacturer + 1;
    QTest::newRow("discovery, device ID bit flipped")
        << "Button3" << Bytes{} << identityTyped << QStringList{"ComboBox9=2"}
        << flipped(identity, 2) << failed.arg("reply checksum wrong") << identityShown << cacheFrom
        << cacheLength;
    QTest::newRow("discovery, last four bytes missing")
        << "Button3" << Bytes{} << identityTyped << QStringList{"ComboBox9=2"} << cut(identity, 4)
        << failed.arg("reply byte count past the bytes received") << identityShown << cacheFrom
        << cacheLength;
    QTest::newRow("discovery, status bytes only, command not implemented")
        << "Button3" << Bytes{} << identityTyped << QStringList{"ComboBox9=2"}
        << identityReply(64, {}) << failed.arg("command not implemented") << identityShown
        << cacheFrom << cacheLength;
}

void ReplyChecksTest::damagedReplyShowsNothing() {
    QFETCH(QString, button);
    QFETCH(Bytes, earlier);
    QFETCH(QStringList, typed);
    QFETCH(QStringList, picked);
    QFETCH(Bytes, reply);
    QFETCH(QString, status);
    QFETCH(QStringList, shown);
    QFETCH(int, cacheFrom);
    QFETCH(int, cacheLength);
    const QByteArray name = button.toLatin1();

    r_->respondWith(earlier);
    QVERIFY(r_->request(name.constData()));
    QVERIFY(r_->status().endsWith(QStringLiteral(" successful!")));

    for (const QString& t : typed)
        r_->setText(t.section('=', 0, 0).toLatin1().constData(), t.section('=', 1));
    rig::selectAll(*r_, picked);
    const auto& b = r_->cycle().buffer();
    const Bytes cacheBefore(b.begin() + cacheFrom, b.begin() + cacheFrom + cacheLength);

    r_->respondWith(reply);
    QVERIFY(r_->request(name.constData()));
    QCOMPARE(r_->status(), status);
    expectShown(*r_, shown);
    QCOMPARE(Bytes(b.begin() + cacheFrom, b.begin() + cacheFrom + cacheLength), cacheBefore);
}

QTEST_MAIN(ReplyChecksTest)
#include "tst_reply_checks.moc"
