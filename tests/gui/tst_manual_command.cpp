// Manual command: the typed text's parse as a table of accepted inputs (the
// exact bytes on the wire, six preambles and the checksum of the typed bytes)
// and refused ones (the exact message, nothing sent), and the receive view
// that keeps showing later chunks while the command stays pending.

#include "support/window_rig.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>

#include <memory>

using rig::Bytes;
using rig::hex;
using rig::WindowRig;

namespace {

// Every byte the device receives until `n` have arrived (or the deadline).
Bytes receiveBytes(WindowRig& r, std::size_t n) {
    Bytes got;
    rig::waitFor([&] {
        const Bytes more = r.device().takeReceived();
        got.insert(got.end(), more.begin(), more.end());
        return got.size() >= n;
    });
    return got;
}

const Bytes kCommandZero = hex("FF FF FF FF FF FF 02 80 00 00 82");

} // namespace

class ManualCommandTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void accepted_data();
    void accepted();
    void refused_data();
    void refused();
    void laterChunksKeepShowing();
    void timeoutThenLateReply();

private:
    void send(const QString& text) {
        r_->setText("Edit8", text);
        QVERIFY(r_->click("Button17"));
    }
    QString receiveView() const { return r_->get<QPlainTextEdit>("Memo8")->toPlainText(); }

    std::unique_ptr<WindowRig> r_;
};

void ManualCommandTest::initTestCase() {
    r_ = std::make_unique<WindowRig>();
    QVERIFY(r_->isOpen());
}

void ManualCommandTest::init() {
    // The manual command stays pending (ReplyCode 104) from one test to the next.
    QVERIFY(r_->settle(WindowRig::Pending::Manual));
}

void ManualCommandTest::cleanupTestCase() {
    r_.reset();
}

void ManualCommandTest::accepted_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<Bytes>("wire");

    QTest::newRow("FF FF FF FF FF FF 02 80 00 00 82") << "02 80 00 00" << kCommandZero;
    QTest::newRow("FF FF FF FF FF FF 02 80 00 00 82 (trailing space)")
        << "02 80 00 00 " << kCommandZero;
    QTest::newRow("FF FF FF FF FF FF 02 80 82 (five characters)")
        << "02 80" << hex("FF FF FF FF FF FF 02 80 82");
    QTest::newRow("FF FF FF FF FF FF 76 89 FD AD AF")
        << "76 89 FD AD" << hex("FF FF FF FF FF FF 76 89 FD AD AF");
    QTest::newRow("FF FF FF FF FF FF 0A B9 F0 43")
        << "0A B9 F0" << hex("FF FF FF FF FF FF 0A B9 F0 43");
    // Fifteen bytes, the most a frame may carry, and their checksum (01^..^0F = 00).
    QTest::newRow("FF FF FF FF FF FF 01 02 .. 0F 00")
        << "01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F"
        << hex("FF FF FF FF FF FF 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 00");
}

void ManualCommandTest::accepted() {
    QFETCH(QString, text);
    QFETCH(Bytes, wire);
    send(text);
    QCOMPARE(r_->status(), QStringLiteral("Downloading..."));
    QCOMPARE(r_->cycle().replyCode(), 104);
    QCOMPARE(r_->cycle().timeoutClass().value(), host::TimeoutClass::Read);
    QCOMPARE(r_->get<QLineEdit>("discomm")->text(), rig::hexText(wire));
    QCOMPARE(receiveBytes(*r_, wire.size()), wire);
}

void ManualCommandTest::refused_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");

    const QString noSpace = QStringLiteral("NO SPACK");
    const QString badDigit = QStringLiteral("Data eeore!");
    QTest::newRow("empty") << "" << noSpace;
    QTest::newRow("0") << "0" << noSpace;
    QTest::newRow("7689FDAD") << "7689FDAD" << noSpace;
    QTest::newRow("02-80") << "02-80" << noSpace;
    QTest::newRow("02  80 (two spaces)") << "02  80 00" << noSpace;
    QTest::newRow("02 8a 00") << "02 8a 00" << badDigit;
    QTest::newRow("a2 80") << "a2 80" << badDigit;
    QTest::newRow("G2 80") << "G2 80" << badDigit;
    QTest::newRow("02 8G") << "02 8G" << badDigit;
    QTest::newRow("02 8: (low digit above 9)") << "02 8:" << badDigit;
    QTest::newRow("bad digit in byte fifteen")
        << "01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0g" << badDigit;
    QTest::newRow("02 8 (space as low digit)")
        << "02 8 " << QStringLiteral("' ' is not a valid integer value.");
    QTest::newRow("02 8-") << "02 8-" << QStringLiteral("'-' is not a valid integer value.");
    QTest::newRow("0.") << "0." << QStringLiteral("'.' is not a valid integer value.");
    // Nothing typed is dropped: a leftover character, or a sixteenth byte,
    // refuses the whole text.
    QTest::newRow("02 80 0 (a leftover character)") << "02 80 0" << noSpace;
    QTest::newRow("0280 (no space)") << "0280" << noSpace;
    QTest::newRow("junk after byte fifteen")
        << "01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0Fzz9q" << noSpace;
    QTest::newRow("sixteen bytes") << "01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10"
                                   << QStringLiteral("At most 15 bytes can be sent; nothing sent.");
    // The low digit below '0' stops the parse at once, before a bad high digit is reported.
    QTest::newRow("G+") << "G+" << QStringLiteral("'+' is not a valid integer value.");
}

void ManualCommandTest::refused() {
    QFETCH(QString, text);
    QFETCH(QString, message);
    r_->get<QPlainTextEdit>("Memo8")->setPlainText(QStringLiteral("old"));
    r_->get<QLineEdit>("discomm")->setText(QStringLiteral("old"));
    const int pending = r_->cycle().replyCode();
    send(text);
    QCOMPARE(r_->takeErrorBox(), message);
    QCOMPARE(r_->status(), QStringLiteral("Downloading..."));
    QCOMPARE(r_->get<QLineEdit>("discomm")->text(), QString());
    QCOMPARE(receiveView(), QString());
    QCOMPARE(r_->cycle().replyCode(), pending);
    // Nothing went out: the first bytes on the line are the next good command's.
    send(QStringLiteral("02 80 00 00"));
    QCOMPARE(receiveBytes(*r_, kCommandZero.size()), kCommandZero);
}

void ManualCommandTest::laterChunksKeepShowing() {
    // A window and device of their own: the odd frames above leave the
    // device's frame parser waiting for bytes that never come.
    WindowRig w;
    QVERIFY(w.isOpen());
    QVERIFY(w.discover()); // for the long-frame request at the end
    auto view = [&w] { return w.get<QPlainTextEdit>("Memo8")->toPlainText(); };
    w.setText("Edit8", QStringLiteral("02 80 00 00"));
    QVERIFY(w.click("Button17"));
    // The command-0 reply, not decoded: shown as it came.
    const Bytes reply =
        hex("FF FF FF FF FF 06 80 00 0E 00 00 FE 26 05 05 05 01 01 08 00 01 02 03 5D");
    QVERIFY(rig::waitFor([&] { return view() == rig::hexText(reply); }));
    QCOMPARE(w.status(), QStringLiteral("Upload successful!"));
    QCOMPARE(w.cycle().replyCode(), 104);

    // Unsolicited bytes replace the view while the command stays pending.
    w.cycle().setStatus(QString());
    const Bytes later = hex("FF FF 81 66 05 01 02 03 01 07 00 00 20 42 48 00 00 8C");
    w.device().sendRaw(later);
    QVERIFY(rig::waitFor([&] { return view() == rig::hexText(later); }));
    QCOMPARE(w.status(), QStringLiteral("Upload successful!"));
    QCOMPARE(w.cycle().replyCode(), 104);

    // Another request ends it: its reply is decoded and later bytes are no longer shown.
    QVERIFY(w.click("Button38"));
    QVERIFY(rig::waitFor([&] { return w.cycle().replyCode() == 0; }));
    QCOMPARE(w.status(), QStringLiteral("Upload successful!"));
    const QString decodedView = view();
    const int receivedBefore = w.cycle().bytesReceived();
    w.device().sendRaw(later);
    QVERIFY(rig::waitFor(
        [&] { return w.cycle().bytesReceived() == receivedBefore + int(later.size()); }));
    QCOMPARE(view(), decodedView);
}

void ManualCommandTest::timeoutThenLateReply() {
    sim::SimFaults faults;
    faults.silent = true;
    r_->device().setFaults(faults);
    send(QStringLiteral("02 80 00 00"));
    QVERIFY(r_->waitStatus(QStringLiteral("Upload data timeout!")));
    QCOMPARE(r_->cycle().replyCode(), 104);
    const Bytes late = hex("FF FF FF 06 80 00 02 00 00 84");
    r_->device().sendRaw(late);
    QVERIFY(r_->waitStatus(QStringLiteral("Upload successful!")));
    QCOMPARE(receiveView(), rig::hexText(late));
}

QTEST_MAIN(ManualCommandTest)
#include "tst_manual_command.moc"
