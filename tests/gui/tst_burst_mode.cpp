// "Burst mode Test": the three writes on the wire and their results, the
// refusal of a burst command the list does not hold, and burst mode on the
// simulated device seen through the manual command's receive view.
//
// The device's long address is 26 05 01 02 03 with master bit 0x00 (the
// master list is left unchosen). Checksums are hand-computed XORs from the
// delimiter on.

#include "support/window_rig.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <memory>

using rig::Bytes;
using rig::hex;
using rig::WindowRig;

namespace {
// The request has been decoded (ReplyCode back to 0) with this status.
// Waiting for the status alone is not enough: the receive handler shows
// "Upload successful!" before the decoder runs.
bool done(WindowRig& r, const QString& status) {
    return rig::waitFor([&] { return r.cycle().replyCode() == 0 && r.status() == status; });
}

const Bytes kQuitFrame = hex("82 26 05 01 02 03 6D 01 00 CD");
} // namespace

class BurstModeTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void listStartsAtOne();
    void requestFrames_data();
    void requestFrames();
    void writeResults_data();
    void writeResults();
    void unknownBurstCommandSendsNothing_data();
    void unknownBurstCommandSendsNothing();
    void burstFramesShowInManualView();

private:
    std::unique_ptr<WindowRig> r_;
};

void BurstModeTest::initTestCase() {
    r_ = std::make_unique<WindowRig>();
    QVERIFY(r_->isOpen());
    QVERIFY(r_->discover());
}

void BurstModeTest::init() {
    QVERIFY(r_->settle());
}

void BurstModeTest::cleanupTestCase() {
    r_.reset();
}

void BurstModeTest::listStartsAtOne() {
    WindowRig w;
    QVERIFY(w.isOpen());
    auto* list = w.get<QComboBox>("ComboBox11");
    QCOMPARE(list->currentIndex(), 0);
    QCOMPARE(list->currentText(), QStringLiteral("1"));
    QCOMPARE(list->count(), 3);
    w.select("ComboBox11", 2);
    QVERIFY(w.click("Button1")); // close
    QCOMPARE(list->currentText(), QStringLiteral("1"));
    QVERIFY(!w.get<QPushButton>("Button20")->isEnabled());
    QVERIFY(!w.get<QPushButton>("Button19")->isEnabled());
    QVERIFY(!w.get<QPushButton>("Button9")->isEnabled());
}

void BurstModeTest::requestFrames_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("item"); // ComboBox11 item
    QTest::addColumn<Bytes>("frame");
    QTest::addColumn<int>("replyCode");

    QTest::newRow("82 26 05 01 02 03 6C 01 01 CD")
        << "Button20" << 0 << hex("82 26 05 01 02 03 6C 01 01 CD") << 108;
    QTest::newRow("82 26 05 01 02 03 6C 01 02 CE")
        << "Button20" << 1 << hex("82 26 05 01 02 03 6C 01 02 CE") << 108;
    QTest::newRow("82 26 05 01 02 03 6C 01 03 CF")
        << "Button20" << 2 << hex("82 26 05 01 02 03 6C 01 03 CF") << 108;
    QTest::newRow("82 26 05 01 02 03 6D 01 01 CC")
        << "Button19" << 0 << hex("82 26 05 01 02 03 6D 01 01 CC") << 109;
    QTest::newRow("82 26 05 01 02 03 6D 01 00 CD") << "Button9" << 0 << kQuitFrame << 99;
}

void BurstModeTest::requestFrames() {
    QFETCH(QString, button);
    QFETCH(int, item);
    QFETCH(Bytes, frame);
    QFETCH(int, replyCode);

    r_->select("ComboBox11", item);
    QVERIFY(r_->click(button.toLatin1().constData()));
    QCOMPARE(r_->status(), QStringLiteral("Downloading..."));
    QCOMPARE(r_->cycle().replyCode(), replyCode);
    QCOMPARE(r_->cycle().timeoutClass().value(), host::TimeoutClass::Write);
    QCOMPARE(r_->nextFrame(), std::optional<Bytes>(frame));
    QVERIFY(done(*r_, QStringLiteral("Write successful!")));
    QCOMPARE(r_->get<QLineEdit>("discomm")->text(),
             rig::hexText(Bytes(8, 0xFF)) + rig::hexText(frame));
    r_->device().withState([](sim::SimState& s) { s.burstMode = false; });
}

void BurstModeTest::writeResults_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("responseCode"); // -1: reply not found
    QTest::addColumn<QString>("status");
    QTest::newRow("SET, code 16") << "Button20" << 16
                                  << QStringLiteral("Write failed!Invalid parameter settings!");
    QTest::newRow("Into, code 7") << "Button19" << 7
                                  << QStringLiteral("Write failed!Write protected!");
    QTest::newRow("Quit, code 0x80")
        << "Button9" << 0x80 << QStringLiteral("Write failed!The channel is restricted!");
    QTest::newRow("Quit, no reply frame") << "Button9" << -1 << QStringLiteral("Write failed!");
}

void BurstModeTest::writeResults() {
    QFETCH(QString, button);
    QFETCH(int, responseCode);
    QFETCH(QString, status);
    if (responseCode < 0) {
        r_->respondWith(hex("FF FF 06 80 6D 03 00 00 00 68"));
    } else {
        sim::SimFaults faults;
        faults.responseCode = static_cast<std::uint8_t>(responseCode);
        r_->device().setFaults(faults);
    }
    QVERIFY(r_->click(button.toLatin1().constData()));
    QVERIFY(rig::waitFor([&] { return r_->cycle().replyCode() == 0; }));
    QCOMPARE(r_->status(), status);
    r_->device().withState([](sim::SimState& s) { s.burstMode = false; });
}

void BurstModeTest::unknownBurstCommandSendsNothing_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("4") << QStringLiteral("4");
    QTest::newRow("empty") << QString();
    QTest::newRow("1 with a space") << QStringLiteral("1 ");
}

void BurstModeTest::unknownBurstCommandSendsNothing() {
    QFETCH(QString, text);
    auto* list = r_->get<QComboBox>("ComboBox11");
    list->setEditText(text);
    QVERIFY(r_->click("Button20"));
    QCOMPARE(r_->status(), QStringLiteral("Nothing sent: the burst mode command must be 1, 2 or 3."));
    QCOMPARE(r_->cycle().replyCode(), 0);
    // The next frame on the line is the one sent now, nothing before it.
    QVERIFY(r_->click("Button9"));
    QCOMPARE(r_->nextFrame(), std::optional<Bytes>(kQuitFrame));
    QVERIFY(done(*r_, QStringLiteral("Write successful!")));
    r_->select("ComboBox11", 0);
}

void BurstModeTest::burstFramesShowInManualView() {
    // Burst command 2: current and percent of range, from the device on its own.
    r_->select("ComboBox11", 1);
    QVERIFY(r_->click("Button20"));
    QVERIFY(done(*r_, QStringLiteral("Write successful!")));
    QVERIFY(r_->click("Button19"));
    QVERIFY(done(*r_, QStringLiteral("Write successful!")));
    QVERIFY(r_->device().withState([](sim::SimState& s) { return s.burstMode; }));

    // A manual command 0; its reply carries the burst bit too (address C0),
    // and after it burst frames keep arriving in the receive view: delimiter
    // 81, address 66 05 01 02 03 (burst bit 0x40), command 02.
    r_->setText("Edit8", QStringLiteral("02 80 00 00"));
    QVERIFY(r_->click("Button17"));
    auto* view = r_->get<QPlainTextEdit>("Memo8");
    QVERIFY(rig::waitFor([&] {
        return view->toPlainText().contains(QStringLiteral("06 C0 00 0E 00 00 FE 26 05 "));
    }));
    QVERIFY(rig::waitFor([&] {
        return view->toPlainText().startsWith(
            QStringLiteral("FF FF FF FF FF 81 66 05 01 02 03 02 0A 00 00 "));
    }));
    QCOMPARE(r_->status(), QStringLiteral("Upload successful!"));
    QCOMPARE(r_->cycle().replyCode(), 104);

    QVERIFY(r_->click("Button9"));
    QVERIFY(rig::waitFor([&] { return r_->cycle().replyCode() == 0; }));
    QCOMPARE(r_->status(), QStringLiteral("Write successful!"));
    QVERIFY(!r_->device().withState([](sim::SimState& s) { return s.burstMode; }));
    r_->select("ComboBox11", 0);
}

QTEST_MAIN(BurstModeTest)
#include "tst_burst_mode.moc"
