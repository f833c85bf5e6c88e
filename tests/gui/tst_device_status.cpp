// The window's "Device Status:" value (DeviceStatus) and "Read additional
// status" (command 48) on "On-line test ", through the real window on a pty.
// The simulated transmitter answers with scripted replies whose status bytes
// and data the rows choose; expected texts are HART's names for the bits,
// written out by hand.

#include "sim/sim_device.h"
#include "support/window_rig.h"

#include <QColor>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <memory>

using rig::Bytes;
using rig::hex;
using rig::WindowRig;

namespace {

constexpr std::uint8_t kAdditionalStatus = 48;

QString deviceStatus(WindowRig& r) {
    return r.get<QLabel>("DeviceStatus")->text();
}

bool moreStatusBold(WindowRig& r) {
    return r.get<QPushButton>("ReadMoreStatus")->font().bold();
}

// A reply from the simulated transmitter's long address with these status
// bytes and data (as a burst frame with delimiter 0x81).
Bytes reply(WindowRig& r, std::uint8_t command, std::uint8_t responseCode,
            std::uint8_t deviceStatus, const Bytes& data, std::uint8_t delimiter = 0x86) {
    const sim::SimReply sr{responseCode, deviceStatus, data};
    return r.device().withState([&](sim::SimState& s) {
        return sim::longReplyFrame(s, command, sr, delimiter, hart::kPrimaryMaster);
    });
}

// Unsolicited bytes from the device; waits until the window has counted them.
bool deviceSends(WindowRig& r, const Bytes& bytes) {
    const int before = r.cycle().bytesReceived();
    r.device().sendRaw(bytes);
    return rig::waitFor(
        [&] { return r.cycle().bytesReceived() >= before + static_cast<int>(bytes.size()); });
}

} // namespace

class DeviceStatusTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void statusOfTheLastReply_data();
    void statusOfTheLastReply();
    void notConnectedNoReplyAndAfterClose();
    void burstFramesCountRequestsAndDamagedFramesDoNot();
    void additionalStatus_data();
    void additionalStatus();

private:
    std::unique_ptr<WindowRig> r_;
};

void DeviceStatusTest::initTestCase() {
    r_ = std::make_unique<WindowRig>();
    QVERIFY(r_->isOpen());
    QVERIFY(r_->discover());
}

void DeviceStatusTest::init() {
    QVERIFY(r_->settle());
}

void DeviceStatusTest::cleanupTestCase() {
    r_.reset();
}

void DeviceStatusTest::statusOfTheLastReply_data() {
    QTest::addColumn<int>("responseCode");
    QTest::addColumn<int>("fieldStatus");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("bold"); // "Read additional status" asks to be pressed

    const int none = 0;
    QTest::newRow("00 00") << none << 0x00 << "OK" << false;
    QTest::newRow("00 80") << none << 0x80 << "Device malfunction" << false;
    QTest::newRow("00 40") << none << 0x40 << "Configuration changed" << false;
    QTest::newRow("00 20") << none << 0x20 << "Cold start" << false;
    QTest::newRow("00 10") << none << 0x10 << "More status available" << true;
    QTest::newRow("00 08") << none << 0x08 << "Loop current fixed" << false;
    QTest::newRow("00 04") << none << 0x04 << "Loop current saturated" << false;
    QTest::newRow("00 02") << none << 0x02 << "Non-primary variable out of limits" << false;
    QTest::newRow("00 01") << none << 0x01 << "Primary variable out of limits" << false;
    QTest::newRow("00 C3") << none << 0xC3
                           << "Device malfunction, Configuration changed, Non-primary variable "
                              "out of limits, Primary variable out of limits"
                           << false;
    QTest::newRow("00 FF") << none << 0xFF
                           << "Device malfunction, Configuration changed, Cold start, More status "
                              "available, Loop current fixed, Loop current saturated, Non-primary "
                              "variable out of limits, Primary variable out of limits"
                           << true;
    // A response code is not a device status: "command not implemented" from
    // a healthy device is OK, a warning keeps the device's bits.
    QTest::newRow("40 00") << 0x40 << 0x00 << "OK" << false;
    QTest::newRow("08 10") << 0x08 << 0x10 << "More status available" << true;
    // The device did not understand the request: its second byte says nothing.
    QTest::newRow("88 00") << 0x88 << 0x00 << "Communication error: longitudinal parity error"
                           << false;
    QTest::newRow("C2 10") << 0xC2 << 0x10
                           << "Communication error: vertical parity error, buffer overflow"
                           << false;
}

void DeviceStatusTest::statusOfTheLastReply() {
    QFETCH(int, responseCode);
    QFETCH(int, fieldStatus);
    QFETCH(QString, text);
    QFETCH(bool, bold);
    // Command 48, six data bytes; error responses carry none.
    const bool error = responseCode == 0x40 || (responseCode & 0x80) != 0;
    r_->respondWith(reply(*r_, kAdditionalStatus, static_cast<std::uint8_t>(responseCode),
                          static_cast<std::uint8_t>(fieldStatus),
                          error ? Bytes{} : hex("00 00 00 00 00 00")));
    QVERIFY(r_->request("ReadMoreStatus"));
    QTRY_COMPARE_WITH_TIMEOUT(deviceStatus(*r_), text, 10000);
    QCOMPARE(moreStatusBold(*r_), bold);
}

// "Not connected" while closed, empty once open until a reply, "No reply"
// after a reply time-out until the next reply.
void DeviceStatusTest::notConnectedNoReplyAndAfterClose() {
    WindowRig r(false);
    const QString notConnected = QStringLiteral("Not connected");
    QCOMPARE(deviceStatus(r), notConnected);
    QVERIFY(!moreStatusBold(r));
    QVERIFY(r.openPort());
    QCOMPARE(deviceStatus(r), QString());
    QVERIFY(r.discover()); // the transmitter's own reply: nothing set
    QCOMPARE(deviceStatus(r), QStringLiteral("OK"));

    r.respondWith(reply(r, kAdditionalStatus, 0x00, 0x10, hex("00 00 00 00 00 00")));
    QVERIFY(r.request("ReadMoreStatus"));
    QTRY_COMPARE_WITH_TIMEOUT(deviceStatus(r), QStringLiteral("More status available"), 10000);
    QVERIFY(moreStatusBold(r));

    // A read that times out: the last word no longer holds.
    QVERIFY(r.settle());
    r.device().setFaults({.silent = true});
    QVERIFY(r.click("Button4"));
    QVERIFY(r.waitStatus(QStringLiteral("Upload data timeout!")));
    QCOMPARE(deviceStatus(r), QStringLiteral("No reply"));
    QVERIFY(!moreStatusBold(r));
    const QColor grey = r.get<QLabel>("DeviceStatus")->palette().color(QPalette::WindowText);
    QCOMPARE(grey.red(), grey.green()); // grey: no hue
    QCOMPARE(grey.green(), grey.blue());
    r.device().setFaults({});
    QVERIFY(r.request("Button4"));
    QTRY_COMPARE_WITH_TIMEOUT(deviceStatus(r), QStringLiteral("OK"), 10000);

    QVERIFY(r.click("Button1")); // Close
    QCOMPARE(deviceStatus(r), notConnected);
    QVERIFY(!moreStatusBold(r));
    QVERIFY(r.openPort());
    QCOMPARE(deviceStatus(r), QString());
}

void DeviceStatusTest::burstFramesCountRequestsAndDamagedFramesDoNot() {
    // Nothing awaited: the bytes are only stored and counted, yet they are
    // the device's latest word on its state.
    QVERIFY(deviceSends(*r_, reply(*r_, 1, 0x00, 0x80, hex("20 41 48 00 00"), 0x81)));
    QTRY_COMPARE_WITH_TIMEOUT(deviceStatus(*r_), QStringLiteral("Device malfunction"), 10000);

    // A request (a modem that echoes the master) and a reply with a wrong
    // checksum leave it as it is.
    QVERIFY(deviceSends(*r_, hex("FF FF FF FF FF 82 A6 05 01 02 03 30 00 11")));
    Bytes damaged = reply(*r_, 3, 0x00, 0x01, {});
    damaged.back() ^= 0xFF;
    QVERIFY(deviceSends(*r_, damaged));
    QCOMPARE(deviceStatus(*r_), QStringLiteral("Device malfunction"));

    QVERIFY(deviceSends(*r_, reply(*r_, 3, 0x00, 0x00, {})));
    QTRY_COMPARE_WITH_TIMEOUT(deviceStatus(*r_), QStringLiteral("OK"), 10000);
}

void DeviceStatusTest::additionalStatus_data() {
    QTest::addColumn<int>("responseCode");
    QTest::addColumn<Bytes>("data");
    QTest::addColumn<QStringList>("view");
    QTest::addColumn<QString>("status");

    const QString ok = QStringLiteral("Upload successful!");
    QTest::newRow("HART 7, all 25 bytes")
        << 0 << hex("00 04 00 00 20 00 03 01 20 08 00 10 01 00 00 00 00 00 00 00 00 00 00 00 00")
        << QStringList{"Device-specific status 0-5: 00 04 00 00 20 00",
                       "Extended device status: 03 (device variable alert, maintenance required)",
                       "Device operating mode: 1",
                       "Standardized status 0: 20 (environmental conditions out of range)",
                       "Standardized status 1: 08 (battery or power supply needs maintenance)",
                       "Analog channel saturated: 00",
                       "Standardized status 2: 10 (stale data notice)",
                       "Standardized status 3: 01 (capacity denied)",
                       "Analog channel fixed: 00",
                       "Device-specific status 6-16: 00 00 00 00 00 00 00 00 00 00 00"}
        << ok;
    QTest::newRow("older device, six bytes")
        << 0 << hex("12 34 56 78 9A BC")
        << QStringList{"Device-specific status 0-5: 12 34 56 78 9A BC"} << ok;
    QTest::newRow("cut inside the device-specific bytes")
        << 0 << hex("01 02 03") << QStringList{"Device-specific status 0-5: 01 02 03"} << ok;
    QTest::newRow("six bytes and extended status")
        << 0 << hex("00 00 00 00 00 00 24")
        << QStringList{"Device-specific status 0-5: 00 00 00 00 00 00",
                       "Extended device status: 24 (function check, critical power failure)"}
        << ok;
    QTest::newRow("bytes past the layout")
        << 0
        << hex("00 00 00 00 00 00 08 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 DE AD")
        << QStringList{"Device-specific status 0-5: 00 00 00 00 00 00",
                       "Extended device status: 08 (failure)",
                       "Device operating mode: 0",
                       "Standardized status 0: 00 (none)",
                       "Standardized status 1: 00 (none)",
                       "Analog channel saturated: 00",
                       "Standardized status 2: 00 (none)",
                       "Standardized status 3: 00 (none)",
                       "Analog channel fixed: 00",
                       "Device-specific status 6-16: 00 00 00 00 00 00 00 00 00 00 00",
                       "Further bytes: DE AD"}
        << ok;
    // Warning 14: the master's status bytes differ from the device's, whose
    // bytes follow.
    QTest::newRow("warning 14 with data")
        << 14 << hex("00 00 00 00 00 01")
        << QStringList{"Response: command-specific warning",
                       "Device-specific status 0-5: 00 00 00 00 00 01"}
        << ok;
    const QString notImplemented = QStringLiteral("Upload failed! (command not implemented)");
    QTest::newRow("command not implemented")
        << 64 << Bytes{} << QStringList{notImplemented} << notImplemented;
    const QString commError =
        QStringLiteral("Upload failed! (Communication error: longitudinal parity error)");
    QTest::newRow("communication error") << 0x88 << Bytes{} << QStringList{commError} << commError;
    const QString empty = QStringLiteral("Upload failed! (reply too short)");
    QTest::newRow("success without data") << 0 << Bytes{} << QStringList{empty} << empty;
}

void DeviceStatusTest::additionalStatus() {
    QFETCH(int, responseCode);
    QFETCH(Bytes, data);
    QFETCH(QStringList, view);
    QFETCH(QString, status);
    auto* memo = r_->get<QPlainTextEdit>("MoreStatusView");
    QVERIFY(memo->isReadOnly());
    memo->setPlainText(QStringLiteral("left from before"));

    r_->respondWith(
        reply(*r_, kAdditionalStatus, static_cast<std::uint8_t>(responseCode), 0x00, data));
    QVERIFY(r_->click("ReadMoreStatus"));
    // Long frame, command 48, no data, to the discovered device; master bit 0
    // while "First Device"/"Second Device" is unchosen.
    const auto frame = r_->nextFrame();
    QVERIFY(frame);
    QCOMPARE(*frame, hex("82 26 05 01 02 03 30 00 91"));
    QVERIFY(r_->waitStatus(status));
    QCOMPARE(memo->toPlainText().split(QLatin1Char('\n')), view);
}

QTEST_MAIN(DeviceStatusTest)
#include "tst_device_status.moc"
