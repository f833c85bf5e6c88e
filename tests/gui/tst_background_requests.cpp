// Background requests (the monitor's polls, reading a configuration): one at
// a time through the window's own send path, invisible in the views and the
// status line, never alongside a user's request, and answered with the
// reply to the command asked, or why none came.

#include "host/reply_codes.h"
#include "host/request_cycle.h"
#include "support/window_rig.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>

#include <optional>

using rig::Bytes;
using rig::hex;
using rig::WindowRig;

namespace {

constexpr int kDeadline = 15000;
const host::RequestSpec kReadPv{host::kBackgroundReply, host::longFrame(1), host::Echo::Keep};

} // namespace

class BackgroundRequestsTest : public QObject {
    Q_OBJECT
private slots:
    void answeredWithTheReplyViewsUntouched();
    void noReplyIsAnswerToo();
    void aClickWaitsForTheAnswerThenGoesFirst();
    void notWhileAPageAwaitsItsReply();
};

void BackgroundRequestsTest::answeredWithTheReplyViewsUntouched() {
    WindowRig r;
    QVERIFY(r.isOpen());
    QVERIFY(r.discover());
    r.setText("discomm", QStringLiteral("before"));
    const QString status = r.status();
    std::optional<host::Answer> answer;
    QVERIFY(r.cycle().ask(kReadPv, nullptr, [&](const host::Answer& a) { answer = a; }));
    QVERIFY(!r.cycle().ask(kReadPv, nullptr, [](const host::Answer&) {})); // one at a time
    const auto frame = r.nextFrame();
    QVERIFY(frame);
    QCOMPARE(rig::hexText(*frame).trimmed(), QStringLiteral("82 26 05 01 02 03 01 00 A0"));
    QTRY_VERIFY_WITH_TIMEOUT(answer.has_value(), kDeadline);
    QVERIFY2(answer->replied, qPrintable(answer->failure));
    QCOMPARE(int(answer->command), 1);
    QCOMPARE(int(answer->responseCode), 0);
    // PV unit (32, degC) and 50.0 (42 48 00 00), as the simulated transmitter holds them.
    QCOMPARE(answer->data, hex("20 42 48 00 00"));
    QCOMPARE(r.get<QLineEdit>("discomm")->text(), QStringLiteral("before"));
    QCOMPARE(r.status(), status);
    QVERIFY(!r.cycle().asking());
}

void BackgroundRequestsTest::noReplyIsAnswerToo() {
    WindowRig r;
    QVERIFY(r.isOpen());
    QVERIFY(r.discover());
    r.device().setFaults({.silent = true});
    const QString status = r.status();
    std::optional<host::Answer> answer;
    QVERIFY(r.cycle().ask(kReadPv, nullptr, [&](const host::Answer& a) { answer = a; }));
    QTRY_VERIFY_WITH_TIMEOUT(answer.has_value(), kDeadline);
    QVERIFY(!answer->replied);
    QCOMPARE(answer->failure, QStringLiteral("no reply in time"));
    QCOMPARE(r.status(), status); // no "Upload data timeout!" for a poll
    QCOMPARE(r.get<QLabel>("DeviceStatus")->text(), QStringLiteral("No reply"));
}

// The user's Data Query clicked while a poll is in flight goes out after
// the poll's reply, and before the next poll could.
void BackgroundRequestsTest::aClickWaitsForTheAnswerThenGoesFirst() {
    WindowRig r;
    QVERIFY(r.isOpen());
    QVERIFY(r.discover());
    std::optional<host::Answer> answer;
    bool askedAgain = true;
    QVERIFY(r.cycle().ask(kReadPv, nullptr, [&](const host::Answer& a) {
        answer = a;
        // The handler polls again at once; the waiting click has gone first.
        askedAgain = r.cycle().ask(kReadPv, nullptr, [](const host::Answer&) {});
    }));
    r.setText("Edit17", QString());
    QVERIFY(r.click("Button4"));
    QCOMPARE(r.cycle().replyCode(), host::kBackgroundReply); // still the poll's
    QTRY_VERIFY_WITH_TIMEOUT(answer.has_value(), kDeadline);
    QVERIFY(answer->replied);
    QCOMPARE(r.cycle().replyCode(), 103); // the click went out first
    QVERIFY(!askedAgain);
    QVERIFY(r.waitStatus(QStringLiteral("Upload successful!")));
    QStringList commands;
    for (const Bytes& f : r.device().takeFrames())
        commands << QString::number(f.at(6));
    QCOMPARE(commands, (QStringList{"1", "3"}));
    QVERIFY(!r.get<QLineEdit>("Edit17")->text().isEmpty());
}

void BackgroundRequestsTest::notWhileAPageAwaitsItsReply() {
    WindowRig r;
    QVERIFY(r.isOpen());
    QVERIFY(r.discover());
    QVERIFY(r.click("Button4"));
    QVERIFY(r.cycle().pageAwaiting());
    QVERIFY(!r.cycle().ask(kReadPv, nullptr, [](const host::Answer&) {}));
    QVERIFY(r.waitStatus(QStringLiteral("Upload successful!")));
    QVERIFY(!r.cycle().pageAwaiting());
}

QTEST_MAIN(BackgroundRequestsTest)
#include "tst_background_requests.moc"
