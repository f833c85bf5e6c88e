// The window over HART-IP: a `hartip://` or `hartip+udp://` port opens a
// session with the simulator's HART-IP server on 127.0.0.1 in front of the
// simulated transmitter, and every page works as over a modem; the session
// keeps itself alive while idle; a server that ends the session, goes away
// or refuses it is handled as a lost or failed serial port is; a reply whose
// HART-IP byte count disagrees with its frame is never shown, and the
// session goes on.

#include "support/window_rig.h"

#include "app/command_line.h"
#include "hartip/hartip_link.h"
#include "host/traffic_log.h"
#include "sim/hartip_server.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

using rig::hex;
using rig::portButtonsEnabled;
using rig::text;
using rig::WindowRig;

namespace {

constexpr int kDeadline = 15000;

// The window with the simulated transmitter behind a HART-IP server; the
// rig's device helpers (frames received, faults) work as over the pty.
class HartIpRig {
public:
    explicit HartIpRig(const QString& transport) : udp_(transport == QLatin1String("udp")) {}
    // Closed while the server is still there, so that the window does not
    // wait for a server that has gone.
    ~HartIpRig() {
        if (rig_.isOpen()) rig_.click("Button1");
    }

    WindowRig& window() { return rig_; }
    sim::HartIpServer& server() { return server_; }
    QString url() const {
        return QStringLiteral("%1://127.0.0.1:%2")
            .arg(udp_ ? QStringLiteral("hartip+udp") : QStringLiteral("hartip"))
            .arg(server_.port());
    }
    // Types the address into "Serial Port:" and presses "Open".
    bool open() {
        rig_.get<QComboBox>("SPREALCOM")->setEditText(url());
        if (!rig_.click("Button1")) return false;
        return rig::waitFor([this] { return rig_.isOpen(); }, kDeadline);
    }

private:
    bool udp_;
    WindowRig rig_{false};
    sim::HartIpServer server_{sim::answering(rig_.device())};
};

int notesWith(const QSignalSpy& notes, const QString& part) {
    int n = 0;
    for (const auto& args : notes)
        n += args[0].toString().contains(part);
    return n;
}

} // namespace

class HartIpWindowTest : public QObject {
    Q_OBJECT
private slots:
    void transports_data();
    void pagesWorkOverASession_data() { transports_data(); }
    void pagesWorkOverASession();
    void keepAlivesWhileIdle_data() { transports_data(); }
    void keepAlivesWhileIdle();
    void serverEndsTheSession_data();
    void serverEndsTheSession();
    void refusedSession_data() { transports_data(); }
    void refusedSession();
    void windowShowsTheOpenWhileItWaits();
    void portOptionOpensASession_data() { transports_data(); }
    void portOptionOpensASession();
    void closingTheWindowClosesTheSession();
    void aReplyWithAWrongByteCountIsNotShown_data() { transports_data(); }
    void aReplyWithAWrongByteCountIsNotShown();
};

void HartIpWindowTest::transports_data() {
    QTest::addColumn<QString>("transport");
    QTest::newRow("tcp") << "tcp";
    QTest::newRow("udp") << "udp";
}

void HartIpWindowTest::pagesWorkOverASession() {
    QFETCH(QString, transport);
    HartIpRig h(transport);
    WindowRig& r = h.window();
    QSignalSpy opened(&r.form(), &TForm1::portOpened);
    QSignalSpy closed(&r.form(), &TForm1::portClosed);
    QSignalSpy notes(&r.form(), &TForm1::linkNote);
    QVERIFY(h.open());
    QVERIFY(r.form().overHartIp());
    QVERIFY(portButtonsEnabled(r, true));
    QCOMPARE(h.server().stats().sessionsOpened, 1);
    QCOMPARE(opened.size(), 1);
    QCOMPARE(opened[0][0].toString(), h.url());
    QCOMPARE(notesWith(notes, QStringLiteral("HART-IP session opened with ") + h.url()), 1);

    // Discovery: the PDU goes without preambles; the send view shows the
    // frame as built, the receive view the reply as a modem gives it.
    r.select("ComboBox8", 0);
    r.forgetReceived();
    QVERIFY(r.click("Button3"));
    const auto discovery = r.nextFrame();
    QVERIFY(discovery);
    QCOMPARE(*discovery, hex("02 80 00 00 82"));
    QVERIFY(r.waitStatus(QStringLiteral("Upload successful!")));
    QCOMPARE(text(r, "Edit1"), QStringLiteral("38"));
    QCOMPARE(text(r, "Edit4"), QStringLiteral("66051"));
    QVERIFY(text(r, "discomm").startsWith(QLatin1String("FF FF FF FF FF ")));
    QVERIFY(text(r, "discomm").endsWith(QLatin1String(" 02 80 00 00 82 ")));
    QCOMPARE(r.get<QPlainTextEdit>("Memo8")->toPlainText(),
             QStringLiteral("FF FF FF FF FF 06 80 00 0E 00 00 FE 26 05 05 05 01 01 08 00 01 02 "
                            "03 5D "));
    QCOMPARE(text(r, "Label67"), QStringLiteral("24")); // 5 preambles + 19 reply bytes

    // A query on "On-line test ": 4.2 = 40 86 66 66 (degC), -1.5 = BF C0 00 00 (psi).
    r.device().withState([](sim::SimState& s) {
        s.variables[0] = {4.2f, 32};
        s.variables[1] = {-1.5f, 6};
    });
    r.forgetReceived();
    QVERIFY(r.click("Button4"));
    const auto query = r.nextFrame();
    QVERIFY(query);
    QCOMPARE(*query, hex("82 A6 05 01 02 03 03 00 22"));
    QVERIFY(r.waitStatus(QStringLiteral("Upload successful!")));
    QCOMPARE(text(r, "Edit5"), QStringLiteral("4.19999980"));
    QCOMPARE(text(r, "Edit17"), QStringLiteral("-1.5"));

    // A write on "Instrument parameter settings": damping 1.5 s = 3F C0 00 00.
    r.setText("Edit16", QStringLiteral("1.5"));
    r.forgetReceived();
    QVERIFY(r.click("Button10"));
    const auto write = r.nextFrame();
    QVERIFY(write);
    QCOMPARE(*write, hex("82 A6 05 01 02 03 22 04 3F C0 00 00 F8"));
    QVERIFY(r.waitStatus(QStringLiteral("Write successful!")));
    QCOMPARE(r.device().withState([](sim::SimState& s) { return s.damping; }), 1.5f);
    QCOMPARE(h.server().stats().pdus, 3);

    // Close: the session is closed, and requests go to the serial port again.
    QVERIFY(r.click("Button1"));
    QCOMPARE(r.get<QPushButton>("Button1")->text(), QStringLiteral("Open"));
    QVERIFY(!r.form().overHartIp());
    QTRY_COMPARE_WITH_TIMEOUT(h.server().stats().closedByClient, 1, kDeadline);
    QTRY_COMPARE_WITH_TIMEOUT(h.server().stats().openSessions, 0, kDeadline);
    QCOMPARE(closed.size(), 1);
    QCOMPARE(closed[0][0].toString(), h.url());
    QCOMPARE(notesWith(notes, QStringLiteral("HART-IP session closed")), 1);
    // The traffic log has the session's events among its rows (it takes
    // rows in batches).
    auto& log = r.form().trafficLog();
    auto logged = [&log](const QString& part) {
        for (int row = 0; row < log.rowCount(); ++row)
            if (log.rowText(row).contains(part)) return true;
        return false;
    };
    QTRY_VERIFY_WITH_TIMEOUT(logged(QStringLiteral("HART-IP session closed")), kDeadline);
    QVERIFY(logged(QStringLiteral("HART-IP session opened with ") + h.url()));
    QVERIFY(!r.form().hartIp().sendFrame(hex("02 80 00 00 82")));
    r.cycle().send({103, host::longFrame(3)}, nullptr, nullptr);
    QVERIFY(r.waitStatus(QStringLiteral("Upload data timeout!")));
    QCOMPARE(h.server().stats().pdus, 3);
}

void HartIpWindowTest::keepAlivesWhileIdle() {
    QFETCH(QString, transport);
    HartIpRig h(transport);
    WindowRig& r = h.window();
    // The server grants 1.5 s instead of the 60 s asked for: a keep-alive
    // every 0.5 s while nothing else is sent.
    h.server().setInactivityCloseTime(1500);
    QSignalSpy notes(&r.form(), &TForm1::linkNote);
    QVERIFY(h.open());
    QCOMPARE(h.server().stats().lastInactivityCloseTime, 1500u);
    QCOMPARE(notesWith(notes, QStringLiteral("set the inactivity close time to 1500 ms")), 1);

    QTRY_VERIFY_WITH_TIMEOUT(h.server().stats().keepAlives >= 6, kDeadline);
    QVERIFY(notesWith(notes, QStringLiteral("HART-IP keep-alive ")) >= 6);
    const auto stats = h.server().stats();
    QCOMPARE(stats.closedByServer, 0);
    QCOMPARE(stats.openSessions, 1);
    QVERIFY(r.isOpen());
    QVERIFY(r.discover());
}

void HartIpWindowTest::serverEndsTheSession_data() {
    QTest::addColumn<QString>("transport");
    QTest::addColumn<QString>("server");
    QTest::newRow("tcp, session closed") << "tcp"
                                         << "close";
    QTest::newRow("udp, session closed") << "udp"
                                         << "close";
    QTest::newRow("tcp, server gone") << "tcp"
                                      << "go away";
    QTest::newRow("udp, server gone") << "udp"
                                      << "go away";
}

void HartIpWindowTest::serverEndsTheSession() {
    QFETCH(QString, transport);
    QFETCH(QString, server);
    HartIpRig h(transport);
    WindowRig& r = h.window();
    // A keep-alive every second: over UDP the loss shows at the next one.
    h.server().setInactivityCloseTime(3000);
    QSignalSpy lostSpy(&r.form(), &TForm1::portLost);
    QVERIFY(h.open());
    QVERIFY(r.discover());
    // A request is awaited when the server goes.
    r.device().setFaults({.silent = true});
    QVERIFY(r.click("Button4"));
    QCOMPARE(r.cycle().replyCode(), 103);

    if (server == QLatin1String("close"))
        h.server().closeSessions();
    else
        h.server().goAway();
    const QString box = r.takeErrorBox(kDeadline);
    const QString lost = QStringLiteral("HART-IP server %1 disconnected (").arg(h.url());
    QVERIFY2(box.startsWith(lost), qPrintable(box));
    QCOMPARE(r.status(), box);
    QCOMPARE(lostSpy.size(), 1);
    QCOMPARE(lostSpy[0][0].toString(), h.url());
    // Closed as the Close button closes, with nothing awaited any more.
    QCOMPARE(r.get<QPushButton>("Button1")->text(), QStringLiteral("Open"));
    QVERIFY(portButtonsEnabled(r, false));
    QVERIFY(!r.form().overHartIp());
    QVERIFY(text(r, "Edit1").isEmpty());
    QCOMPARE(r.cycle().replyCode(), 0);
    QVERIFY(!r.get<QTimer>("Timer3")->isActive());

    // The server takes sessions again: the same address opens once more.
    if (server == QLatin1String("close")) {
        r.device().setFaults({});
        QVERIFY(h.open());
        QVERIFY(r.discover());
        QCOMPARE(text(r, "Edit4"), QStringLiteral("66051"));
        QCOMPARE(h.server().stats().sessionsOpened, 2);
    }
}

void HartIpWindowTest::refusedSession() {
    QFETCH(QString, transport);
    HartIpRig h(transport);
    WindowRig& r = h.window();
    h.server().refuseSessions(15);
    r.get<QComboBox>("SPREALCOM")->setEditText(h.url());
    QVERIFY(r.click("Button1"));
    QCOMPARE(r.takeErrorBox(kDeadline),
             QStringLiteral("HART-IP server refused the session: too many sessions (status 15)"));
    QCOMPARE(r.get<QPushButton>("Button1")->text(), QStringLiteral("Open"));
    QVERIFY(r.get<QPushButton>("Button1")->isEnabled());
    QVERIFY(!r.isOpen());
    QVERIFY(portButtonsEnabled(r, false));
    QVERIFY(r.status().isEmpty());
    QVERIFY(!r.form().overHartIp());

    h.server().refuseSessions(std::nullopt);
    QVERIFY(r.click("Button1"));
    QVERIFY(rig::waitFor([&] { return r.isOpen(); }, kDeadline));
}

void HartIpWindowTest::windowShowsTheOpenWhileItWaits() {
    // A server that never answers: the open waits its 3 s, during which the
    // window keeps running its event loop and says what it waits for.
    QUdpSocket silent;
    QVERIFY(silent.bind(QHostAddress::LocalHost, 0));
    const QString url = QStringLiteral("hartip+udp://127.0.0.1:%1").arg(silent.localPort());
    WindowRig r(false);
    r.get<QComboBox>("SPREALCOM")->setEditText(url);
    QString shown;
    bool openEnabled = true;
    QTimer::singleShot(200, &r.form(), [&] {
        shown = r.status();
        openEnabled = r.get<QPushButton>("Button1")->isEnabled();
    });
    QVERIFY(r.click("Button1"));
    QCOMPARE(shown, QStringLiteral("Opening HART-IP session with %1 ...").arg(url));
    QVERIFY(!openEnabled);
    QCOMPARE(
        r.takeErrorBox(kDeadline),
        QStringLiteral("HART-IP server %1 did not answer the session request within 3 s").arg(url));
    QVERIFY(silent.hasPendingDatagrams()); // the session initiate did go out
    QVERIFY(!r.isOpen());
    QVERIFY(r.status().isEmpty());
}

void HartIpWindowTest::portOptionOpensASession() {
    QFETCH(QString, transport);
    HartIpRig h(transport);
    WindowRig& r = h.window();
    const auto cl =
        app::readCommandLine({QStringLiteral("rx460k"), QStringLiteral("--port"), h.url()},
                             app::Stage::AfterApplication);
    QVERIFY(!cl.exit);
    QCOMPARE(cl.start.port, h.url());
    app::applyStartOptions(r.form(), cl.start);
    QVERIFY(rig::waitFor([&] { return r.isOpen(); }, kDeadline));
    QVERIFY(r.form().overHartIp());
    QVERIFY(r.discover());
    QCOMPARE(h.server().stats().sessionsOpened, 1);
}

void HartIpWindowTest::closingTheWindowClosesTheSession() {
    sim::SimTransmitter device;
    sim::HartIpServer server(sim::answering(device));
    {
        TForm1 form;
        form.show();
        form.openAtStart(QStringLiteral("hartip://127.0.0.1:%1").arg(server.port()));
        QVERIFY(form.overHartIp());
        QCOMPARE(server.stats().openSessions, 1);
    } // the window closes with the session open
    QTRY_COMPARE_WITH_TIMEOUT(server.stats().closedByClient, 1, kDeadline);
    QTRY_COMPARE_WITH_TIMEOUT(server.stats().openSessions, 0, kDeadline);
}

void HartIpWindowTest::aReplyWithAWrongByteCountIsNotShown() {
    QFETCH(QString, transport);
    HartIpRig h(transport);
    WindowRig& r = h.window();
    // A keep-alive every 0.5 s: over TCP its answer follows the bad reply.
    h.server().setInactivityCloseTime(1500);
    QSignalSpy notes(&r.form(), &TForm1::linkNote);
    QSignalSpy lost(&r.form(), &TForm1::portLost);
    QVERIFY(h.open());
    QVERIFY(r.discover());
    const int keepAlives = h.server().stats().keepAlives;

    // The reply to command 3 claims 3 bytes more than it has.
    h.server().skewNextPduCount(3);
    QVERIFY(r.click("Button4"));
    QVERIFY2(r.waitStatus(QStringLiteral("Upload data timeout!")), qPrintable(r.status()));
    QTRY_VERIFY_WITH_TIMEOUT(notesWith(notes, QStringLiteral("dropped as malformed")) == 1,
                             kDeadline);
    QCOMPARE(r.form().hartIp().malformedCount(), 1);
    // The keep-alive answers behind it are read: nothing is lost.
    QTRY_VERIFY_WITH_TIMEOUT(h.server().stats().keepAlives >= keepAlives + 2, kDeadline);
    QCOMPARE(notesWith(notes, QStringLiteral("not answered")), 0);
    QCOMPARE(lost.size(), 0);
    QVERIFY(r.isOpen());

    // The next reply is whole and shown.
    QVERIFY(r.click("Button4"));
    QVERIFY2(r.waitStatus(QStringLiteral("Upload successful!")), qPrintable(r.status()));
}

QTEST_MAIN(HartIpWindowTest)
#include "tst_hartip.moc"
