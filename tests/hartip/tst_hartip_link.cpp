// The HART-IP link on its own, over TCP and UDP on 127.0.0.1: against
// servers scripted here byte by byte (the request bytes are written out from
// the HART-IP message layout: version, type, id, status, sequence, byte
// count, body), and against the simulator's HART-IP server for sessions,
// keep-alives and the ways a session is refused or lost, in version 1 and
// in version 2 over TLS (the simulator's TLS is OpenSSL's, independent of
// the link's Qt). A capture of one session is read by tshark's HART-IP
// dissector.

#include "hart/frame.h"
#include "hart/pcapng.h"
#include "hartip/hartip_link.h"
#include "sim/hartip_server.h"
#include "sim/sim_transmitter.h"

#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

#include <fstream>
#include <memory>

using hartip::Address;
using hartip::HartIpLink;
using hartip::Transport;

namespace {

// Generous: the machine is shared with other builds and tests.
constexpr int kDeadline = 15000;

QByteArray hex(const char* text) {
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

std::vector<std::uint8_t> bytes(const QByteArray& a) {
    return {a.begin(), a.end()};
}

std::uint16_t sequenceOf(const QByteArray& message) {
    return static_cast<std::uint16_t>((std::uint8_t(message[4]) << 8) | std::uint8_t(message[5]));
}

// A response header for `request` with this type, status and body; the byte
// count is worked out here.
QByteArray answer(const QByteArray& request, std::uint8_t type, std::uint8_t status,
                  const QByteArray& body = {}, std::uint8_t version = 1) {
    QByteArray m;
    m.append(char(version));
    m.append(char(type));
    m.append(request[2]); // same message id
    m.append(char(status));
    m.append(request.mid(4, 2)); // same sequence number
    const int count = 8 + int(body.size());
    m.append(char(count >> 8));
    m.append(char(count & 0xFF));
    return m + body;
}

QByteArray withSequence(QByteArray message, std::uint16_t sequence) {
    message[4] = char(sequence >> 8);
    message[5] = char(sequence & 0xFF);
    return message;
}

Transport transportOf(const QString& name) {
    return name == QLatin1String("udp") ? Transport::Udp : Transport::Tcp;
}

// A HART-IP server played by the test: every message it receives is kept,
// and the test decides what goes back.
class ScriptedServer : public QObject {
public:
    explicit ScriptedServer(Transport transport) : transport_(transport) {
        if (transport == Transport::Tcp) {
            tcp_.listen(QHostAddress::LocalHost);
            connect(&tcp_, &QTcpServer::newConnection, this, [this] {
                client_ = tcp_.nextPendingConnection();
                connect(client_, &QTcpSocket::readyRead, this, [this] {
                    pending_ += client_->readAll();
                    split();
                });
            });
        } else {
            udp_.bind(QHostAddress::LocalHost, 0);
            connect(&udp_, &QUdpSocket::readyRead, this, [this] {
                while (udp_.hasPendingDatagrams()) {
                    QByteArray d(udp_.pendingDatagramSize(), Qt::Uninitialized);
                    udp_.readDatagram(d.data(), d.size(), &peer_, &peerPort_);
                    received_.append(d);
                    if (onMessage) onMessage(d);
                }
            });
        }
    }
    Address address() const {
        return {transport_, QStringLiteral("127.0.0.1"),
                transport_ == Transport::Tcp ? tcp_.serverPort() : udp_.localPort()};
    }
    void send(const QByteArray& message) {
        if (transport_ == Transport::Tcp) {
            client_->write(message);
            client_->flush();
        } else {
            udp_.writeDatagram(message, peer_, peerPort_);
        }
    }
    QTcpSocket* connection() { return client_; }
    const QList<QByteArray>& received() const { return received_; }

    // Answers session initiate and close with success (the body echoed).
    std::function<void(const QByteArray&)> onMessage = [this](const QByteArray& m) {
        if (m[2] == 0 || m[2] == 1) send(answer(m, 1, 0, m.mid(8)));
    };

private:
    void split() {
        while (pending_.size() >= 8) {
            const int count = (std::uint8_t(pending_[6]) << 8) | std::uint8_t(pending_[7]);
            if (pending_.size() < count) return;
            const QByteArray m = pending_.left(count);
            pending_.remove(0, count);
            received_.append(m);
            if (onMessage) onMessage(m);
        }
    }

    Transport transport_;
    QTcpServer tcp_;
    QTcpSocket* client_ = nullptr;
    QUdpSocket udp_;
    QHostAddress peer_;
    quint16 peerPort_ = 0;
    QByteArray pending_;
    QList<QByteArray> received_;
};

// The simulated transmitter behind the simulator's HART-IP server.
struct SimServer {
    sim::SimTransmitter device;
    sim::HartIpServer server{sim::answering(device)};
    Address address(Transport t) const { return {t, QStringLiteral("127.0.0.1"), server.port()}; }
};

// The key the secure tests share with the simulator, and its hex text: both
// are searched for in everything the link reports.
const char* kKeyHex = "8f3a91c4d27b5e06a1f49c3387d2e65b";

std::vector<std::uint8_t> keyBytes() {
    return bytes(QByteArray::fromHex(kKeyHex));
}

// The simulated transmitter behind a version 2 server.
struct SecureServer {
    explicit SecureServer(sim::HartIpSecurity security = {"HART-IPClient", keyBytes()})
        : server(sim::answering(device), {.security = security}) {}
    sim::SimTransmitter device;
    sim::HartIpServer server;
    Address address(Transport t = Transport::Tcp) const {
        return {t, QStringLiteral("127.0.0.1"), server.port(), true};
    }
};

hartip::Credentials credentials(const QString& identity = QStringLiteral("HART-IPClient"),
                                const char* keyHex = kKeyHex) {
    hartip::Credentials c;
    c.identity = identity;
    c.key = QByteArray::fromHex(keyHex);
    return c;
}

// A link that answers every secure open with these credentials.
void giveCredentials(HartIpLink& link, const hartip::Credentials& c) {
    link.setCredentialsSource([c](const Address&) { return c; });
}

// A long frame to the simulated transmitter (A6 05 01 02 03) with its checksum.
std::vector<std::uint8_t> frameTo(std::uint8_t command, const QByteArray& data = {}) {
    std::vector<std::uint8_t> f{0xFF,
                                0xFF,
                                0xFF,
                                0xFF,
                                0xFF,
                                0x82,
                                0xA6,
                                0x05,
                                0x01,
                                0x02,
                                0x03,
                                command,
                                static_cast<std::uint8_t>(data.size())};
    f.insert(f.end(), data.begin(), data.end());
    f.push_back(hart::checksum(std::span(f).subspan(5)));
    return f;
}

QString openError(HartIpLink& link, const Address& address) {
    try {
        link.open(address);
    } catch (const hartip::HartIpError& e) {
        return QString::fromStdString(e.what());
    }
    return {};
}

int notesWith(const QSignalSpy& notes, const QString& part) {
    int n = 0;
    for (const auto& args : notes)
        n += args[0].toString().contains(part);
    return n;
}

QString tsharkProgram() {
#ifdef TSHARK_PROGRAM
    if (QFile::exists(QStringLiteral(TSHARK_PROGRAM))) return QStringLiteral(TSHARK_PROGRAM);
#endif
    return QStandardPaths::findExecutable(QStringLiteral("tshark"));
}

// What Wireshark's HART-IP dissector reads in `messages` sent by the tool
// over TCP: one line per message, its version, message id and, for a PDU,
// the HART command. Empty when tshark could not be run.
QStringList tsharkReadsSent(const QList<QByteArray>& messages) {
    const QString tshark = tsharkProgram();
    if (tshark.isEmpty()) return {};
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("clear.pcapng"));
    {
        std::ofstream out(path.toStdString(), std::ios::binary);
        hart::pcapng::Writer writer(out);
        std::uint16_t ipId = 0;
        std::uint64_t when = 1'700'000'000'000'000;
        for (const QByteArray& m : messages)
            writer.writePacket(hart::pcapng::hartIpPacket(hart::pcapng::Direction::ToDevice,
                                                          bytes(m), hart::pcapng::kDefaultToolPort,
                                                          ++ipId),
                               when += 1000);
        if (!writer.good()) return {};
    }
    QProcess p;
    p.start(tshark, {"-r", path, "-T", "fields", "-E", "separator=,", "-E", "occurrence=f", "-e",
                     "hart_ip.version", "-e", "hart_ip.message_id", "-e", "hart_ip.pt.command"});
    if (!p.waitForFinished(60000) || p.exitCode() != 0) return {};
    return QString::fromUtf8(p.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
}

} // namespace

class HartIpLinkTest : public QObject {
    Q_OBJECT
private slots:
    void transports_data();
    void messagesAsTheyGoOnTheWire_data() { transports_data(); }
    void messagesAsTheyGoOnTheWire();
    void onlyTheAwaitedResponseIsHandedOn_data() { transports_data(); }
    void onlyTheAwaitedResponseIsHandedOn();
    void aRetryTakesTheFirstTrysLateAnswer_data() { transports_data(); }
    void aRetryTakesTheFirstTrysLateAnswer();
    void tcpMessagesSplitAndJoinedInTheStream();
    void refusedSessionNamesTheStatus_data();
    void refusedSessionNamesTheStatus();
    void openFails_data();
    void openFails();
    void serverChoosesInactivityTimeAndKeepAlivesHoldTheSession_data() { transports_data(); }
    void serverChoosesInactivityTimeAndKeepAlivesHoldTheSession();
    void sessionLoss_data();
    void sessionLoss();
    void sendingNeedsAnOpenSession();
    void addresses_data();
    void addresses();
    void captureReadByTshark();
    void secureSession_data() { transports_data(); }
    void secureSession();
    void secureSessionLoss_data() { transports_data(); }
    void secureSessionLoss();
    void secureOpenFails_data();
    void secureOpenFails();
    void secureAddressToAVersion1ServerSendsNothingInTheClear_data();
    void secureAddressToAVersion1ServerSendsNothingInTheClear();
    void noKeyBytesInNotesMessagesOrCapture();
    void directPduAndAuditLog();
    void malformedMessagesAreDroppedUnread_data();
    void malformedMessagesAreDroppedUnread();
    void keysFromHexText_data();
    void keysFromHexText();
    void tlsKeyBytesByKeyForm();
};

void HartIpLinkTest::transports_data() {
    QTest::addColumn<QString>("transport");
    QTest::newRow("tcp") << "tcp";
    QTest::newRow("udp") << "udp";
}

void HartIpLinkTest::messagesAsTheyGoOnTheWire() {
    QFETCH(QString, transport);
    ScriptedServer server(transportOf(transport));
    HartIpLink link;
    QSignalSpy received(&link, &HartIpLink::received);
    link.open(server.address());
    QVERIFY(link.isOpen());
    QCOMPARE(link.inactivityCloseTime(), 60000u);

    // Session initiate: primary host (1), 60 000 ms = 00 00 EA 60.
    QCOMPARE(server.received().size(), 1);
    const QByteArray initiate = server.received()[0];
    const std::uint16_t s = sequenceOf(initiate);
    QCOMPARE(initiate, withSequence(hex("01 00 00 00 00 00 00 0D 01 00 00 EA 60"), s));

    // A command-3 frame as the pages build it: the preambles stay here.
    server.onMessage = nullptr;
    QVERIFY(link.sendFrame(bytes(hex("FF FF FF FF FF FF FF FF 82 A6 05 01 02 03 03 00 22"))));
    QTRY_COMPARE_WITH_TIMEOUT(server.received().size(), 2, kDeadline);
    const QByteArray pdu = server.received()[1];
    QCOMPARE(pdu, withSequence(hex("01 00 03 00 00 00 00 11 82 A6 05 01 02 03 03 00 22"),
                               std::uint16_t(s + 1)));

    // A frame whose length agrees with its byte count; its checksum is the
    // readers' business, not the link's.
    const QByteArray reply = hex("86 A6 05 01 02 03 03 05 00 00 41 40 00 00");
    server.send(answer(pdu, 1, 0, reply));
    QTRY_COMPARE_WITH_TIMEOUT(received.size(), 1, kDeadline);
    QCOMPARE(received[0][0].toByteArray(), hex("FF FF FF FF FF") + reply);

    // Close: a session-close request with the next sequence number.
    server.onMessage = [&](const QByteArray& m) { server.send(answer(m, 1, 0)); };
    // This server shares the test's thread, so it reads the close only
    // after the link has given up waiting for its answer.
    link.close();
    QVERIFY(!link.isOpen());
    QTRY_COMPARE_WITH_TIMEOUT(server.received().size(), 3, kDeadline);
    QCOMPARE(server.received()[2],
             withSequence(hex("01 00 01 00 00 00 00 08"), std::uint16_t(s + 2)));
    if (server.connection())
        QTRY_COMPARE_WITH_TIMEOUT(server.connection()->state(), QAbstractSocket::UnconnectedState,
                                  kDeadline);
}

void HartIpLinkTest::onlyTheAwaitedResponseIsHandedOn() {
    QFETCH(QString, transport);
    ScriptedServer server(transportOf(transport));
    HartIpLink link;
    QSignalSpy received(&link, &HartIpLink::received);
    QSignalSpy notes(&link, &HartIpLink::note);
    link.open(server.address());
    server.onMessage = nullptr;

    QVERIFY(link.sendFrame(bytes(hex("FF FF FF FF FF 02 80 00 00 82"))));
    QVERIFY(link.sendFrame(bytes(hex("FF FF FF FF FF 02 81 00 00 83"))));
    QTRY_COMPARE_WITH_TIMEOUT(server.received().size(), 3, kDeadline);
    const QByteArray first = server.received()[1];
    const QByteArray second = server.received()[2];
    // Late (its request was replaced), then the awaited one, then the same
    // again, then a sequence number never sent.
    server.send(answer(first, 1, 0, hex("06 80 00 02 00 00 84")));
    server.send(answer(second, 1, 0, hex("06 81 00 02 00 00 85")));
    server.send(answer(second, 1, 0, hex("06 81 00 02 00 00 85")));
    server.send(withSequence(answer(second, 1, 0, hex("06 82 00 02 00 00 86")), 0x7777));

    auto dropped = [&] {
        int n = 0;
        for (const auto& args : notes)
            n += args[0].toString().contains(QLatin1String("dropped: late or duplicate"));
        return n;
    };
    QTRY_COMPARE_WITH_TIMEOUT(dropped(), 3, kDeadline);
    QCOMPARE(received.size(), 1);
    QCOMPARE(received[0][0].toByteArray(), hex("FF FF FF FF FF 06 81 00 02 00 00 85"));
}

// A master that retries sends the same frame again under a new sequence
// number. A gateway relaying to a slow loop answers the first copy late,
// after the retry went out: that answer is the reply, and the second
// answer to the same request is the duplicate.
void HartIpLinkTest::aRetryTakesTheFirstTrysLateAnswer() {
    QFETCH(QString, transport);
    ScriptedServer server(transportOf(transport));
    HartIpLink link;
    QSignalSpy received(&link, &HartIpLink::received);
    QSignalSpy notes(&link, &HartIpLink::note);
    link.open(server.address());
    server.onMessage = nullptr;

    const auto poll = bytes(hex("FF FF FF FF FF 02 80 00 00 82"));
    QVERIFY(link.sendFrame(poll));
    QVERIFY(link.sendFrame(poll)); // the retry
    QTRY_COMPARE_WITH_TIMEOUT(server.received().size(), 3, kDeadline);
    const QByteArray firstTry = server.received()[1];
    const QByteArray retry = server.received()[2];
    QVERIFY(firstTry.mid(4, 2) != retry.mid(4, 2)); // two sequence numbers

    server.send(answer(firstTry, 1, 0, hex("06 80 00 02 00 00 84")));
    QTRY_COMPARE_WITH_TIMEOUT(received.size(), 1, kDeadline);
    QCOMPARE(received[0][0].toByteArray(), hex("FF FF FF FF FF 06 80 00 02 00 00 84"));
    server.send(answer(retry, 1, 0, hex("06 80 00 02 00 00 84")));
    QTRY_VERIFY_WITH_TIMEOUT(notesWith(notes, QStringLiteral("dropped: late or duplicate")) == 1,
                             kDeadline);

    // Another request replaces both: an answer to the old frame is late.
    QVERIFY(link.sendFrame(bytes(hex("FF FF FF FF FF 02 81 00 00 83"))));
    QTRY_COMPARE_WITH_TIMEOUT(server.received().size(), 4, kDeadline);
    server.send(answer(retry, 1, 0, hex("06 80 00 02 00 00 84")));
    QTRY_VERIFY_WITH_TIMEOUT(notesWith(notes, QStringLiteral("dropped: late or duplicate")) == 2,
                             kDeadline);
    QCOMPARE(received.size(), 1);
}

void HartIpLinkTest::tcpMessagesSplitAndJoinedInTheStream() {
    ScriptedServer server(Transport::Tcp);
    HartIpLink link;
    QSignalSpy received(&link, &HartIpLink::received);
    link.open(server.address());
    server.onMessage = nullptr;

    QVERIFY(link.sendFrame(bytes(hex("FF FF FF FF FF 02 80 00 00 82"))));
    QTRY_COMPARE_WITH_TIMEOUT(server.received().size(), 2, kDeadline);
    const QByteArray whole = answer(server.received()[1], 1, 0, hex("06 80 00 02 00 00 84"));
    // Header and body in two segments, the second after the first was read.
    server.send(whole.left(5));
    QTest::qWait(50); // lets the first piece arrive alone; the result does not depend on it
    QCOMPARE(received.size(), 0);
    server.send(whole.mid(5));
    QTRY_COMPARE_WITH_TIMEOUT(received.size(), 1, kDeadline);
    QCOMPARE(received[0][0].toByteArray(), hex("FF FF FF FF FF 06 80 00 02 00 00 84"));

    // A reply and a published burst frame in one segment: two chunks.
    QVERIFY(link.sendFrame(bytes(hex("FF FF FF FF FF 02 80 00 00 82"))));
    QTRY_COMPARE_WITH_TIMEOUT(server.received().size(), 3, kDeadline);
    const QByteArray reply = answer(server.received()[2], 1, 0, hex("06 80 00 02 00 00 84"));
    const QByteArray burst = answer(server.received()[2], 2, 0, hex("01 80 01 02 00 00 82"));
    server.send(reply + burst);
    QTRY_COMPARE_WITH_TIMEOUT(received.size(), 3, kDeadline);
    QCOMPARE(received[1][0].toByteArray(), hex("FF FF FF FF FF 06 80 00 02 00 00 84"));
    QCOMPARE(received[2][0].toByteArray(), hex("FF FF FF FF FF 01 80 01 02 00 00 82"));
}

void HartIpLinkTest::refusedSessionNamesTheStatus_data() {
    QTest::addColumn<QString>("transport");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    const char* kRows[][2] = {
        {"15", "HART-IP server refused the session: too many sessions (status 15)"},
        {"16", "HART-IP server refused the session: access restricted (status 16)"},
        {"14", "HART-IP server refused the session: version not supported (status 14)"},
        {"2", "HART-IP server refused the session: invalid selection (host type) (status 2)"},
        {"33", "HART-IP server refused the session: status 33 (status 33)"},
    };
    for (const char* t : {"tcp", "udp"})
        for (const auto& row : kRows)
            QTest::addRow("%s status %s", t, row[0])
                << t << QByteArray(row[0]).toInt() << QString::fromLatin1(row[1]);
}

void HartIpLinkTest::refusedSessionNamesTheStatus() {
    QFETCH(QString, transport);
    QFETCH(int, status);
    QFETCH(QString, message);
    SimServer sim;
    sim.server.refuseSessions(std::uint8_t(status));
    HartIpLink link;
    QCOMPARE(openError(link, sim.address(transportOf(transport))), message);
    QVERIFY(!link.isOpen());
    QTRY_COMPARE_WITH_TIMEOUT(sim.server.stats().sessionsRefused, 1, kDeadline);
    // The same link opens once the server takes sessions again.
    sim.server.refuseSessions(std::nullopt);
    link.open(sim.address(transportOf(transport)));
    QVERIFY(link.isOpen());
}

void HartIpLinkTest::openFails_data() {
    QTest::addColumn<QString>("transport");
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("start"); // of the message
    const char* kRows[][4] = {
        {"tcp, nobody listens", "tcp", "closed port",
         "Cannot reach HART-IP server hartip://127.0.0.1:"},
        {"tcp, silent", "tcp", "silent", "HART-IP server hartip://127.0.0.1:"},
        {"udp, silent", "udp", "silent", "HART-IP server hartip+udp://127.0.0.1:"},
        {"tcp, NAK", "tcp", "nak", "HART-IP server refused the session: it answered with a NAK"},
        {"udp, error message", "udp", "error",
         "HART-IP server refused the session: it answered with an error"},
        {"tcp, connection closed", "tcp", "hang up", "HART-IP server hartip://127.0.0.1:"},
        // An answer in a version nobody asked for opens nothing.
        {"tcp, answer in version 0x47", "tcp", "v71", "HART-IP server hartip://127.0.0.1:"},
        {"udp, answer in version 2", "udp", "v2", "HART-IP server hartip+udp://127.0.0.1:"},
    };
    for (const auto& row : kRows)
        QTest::newRow(row[0]) << row[1] << row[2] << row[3];
}

void HartIpLinkTest::openFails() {
    QFETCH(QString, transport);
    QFETCH(QString, how);
    QFETCH(QString, start);
    ScriptedServer server(transportOf(transport));
    Address address = server.address();
    if (how == QLatin1String("closed port")) {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        address.port = probe.serverPort();
    } // the probe closes here: nobody listens on that port any more
    server.onMessage = [&](const QByteArray& m) {
        if (how == QLatin1String("nak")) server.send(answer(m, 15, 0));
        if (how == QLatin1String("error")) server.send(answer(m, 3, 5));
        if (how == QLatin1String("hang up")) server.connection()->close();
        if (how == QLatin1String("v71")) server.send(answer(m, 1, 0, m.mid(8), 0x47));
        if (how == QLatin1String("v2")) server.send(answer(m, 1, 0, m.mid(8), 2));
    };
    HartIpLink link;
    link.setTiming({.responseWaitMs = 500});
    const QString error = openError(link, address);
    QVERIFY2(error.startsWith(start), qPrintable(error));
    if (how == QLatin1String("silent"))
        QVERIFY2(error.endsWith(QLatin1String("did not answer the session request within 0.5 s")),
                 qPrintable(error));
    if (how.startsWith(u'v'))
        QVERIFY2(
            error.contains(QStringLiteral("answered the version 1 session request in version %1")
                               .arg(how == QLatin1String("v71") ? 71 : 2)),
            qPrintable(error));
    QVERIFY(!link.isOpen());
    QVERIFY(!link.sendFrame(bytes(hex("02 80 00 00 82"))));
}

void HartIpLinkTest::serverChoosesInactivityTimeAndKeepAlivesHoldTheSession() {
    QFETCH(QString, transport);
    SimServer sim;
    sim.server.setInactivityCloseTime(1500);
    HartIpLink link;
    QSignalSpy notes(&link, &HartIpLink::note);
    QSignalSpy lost(&link, &HartIpLink::lost);
    link.open(sim.address(transportOf(transport)));
    // Status 8: the server's time holds.
    QCOMPARE(link.inactivityCloseTime(), 1500u);
    QVERIFY(notes.last()[0].toString().contains(
        QLatin1String("set the inactivity close time to 1500 ms")));

    // Idle: keep-alives every 500 ms keep the session past its 1.5 s.
    QTRY_VERIFY_WITH_TIMEOUT(sim.server.stats().keepAlives >= 6, kDeadline);
    QTRY_VERIFY_WITH_TIMEOUT(notes.size() >= 4, kDeadline); // the notes came through the loop
    const auto stats = sim.server.stats();
    QCOMPARE(stats.closedByServer, 0);
    QCOMPARE(stats.openSessions, 1);
    QCOMPARE(lost.size(), 0);
    QVERIFY(link.isOpen());
    int keepAliveNotes = 0;
    for (const auto& args : notes)
        keepAliveNotes += args[0].toString().startsWith(QLatin1String("HART-IP keep-alive "));
    QVERIFY(keepAliveNotes >= 3);

    // Still answering after all that idling.
    QSignalSpy received(&link, &HartIpLink::received);
    QVERIFY(link.sendFrame(bytes(hex("FF FF FF FF FF 02 80 00 00 82"))));
    QTRY_COMPARE_WITH_TIMEOUT(received.size(), 1, kDeadline);
    link.close();
    QTRY_VERIFY_WITH_TIMEOUT(sim.server.stats().closedByClient == 1, kDeadline);
}

void HartIpLinkTest::sessionLoss_data() {
    QTest::addColumn<QString>("transport");
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("why"); // part of the reason given; empty: not looked at
    const char* kRows[][4] = {
        {"tcp, session closed", "tcp", "close", "the server closed the connection"},
        {"udp, session closed", "udp", "close", "a NAK"},
        {"tcp, server gone", "tcp", "go away", "the server closed the connection"},
        // The next datagram meets a closed port or no answer: either way lost.
        {"udp, server gone", "udp", "go away", ""},
        {"tcp, connection reset", "tcp", "reset", ""},
        {"tcp, keep-alives ignored", "tcp", "ignore", "keep-alives in a row"},
        {"udp, keep-alives ignored", "udp", "ignore", "keep-alives in a row"},
    };
    for (const auto& row : kRows)
        QTest::newRow(row[0]) << row[1] << row[2] << row[3];
}

void HartIpLinkTest::sessionLoss() {
    QFETCH(QString, transport);
    QFETCH(QString, server);
    QFETCH(QString, why);
    SimServer sim;
    // A keep-alive every second while idle, each answered within the next
    // second. An ignoring server is given 200 ms instead, so that it is
    // found out long before its own 3 s run out and it closes the session.
    sim.server.setInactivityCloseTime(3000);
    HartIpLink link;
    if (server == QLatin1String("ignore")) link.setTiming({.keepAliveAnswerMs = 200});
    QSignalSpy lost(&link, &HartIpLink::lost);
    link.open(sim.address(transportOf(transport)));
    QVERIFY(link.isOpen());

    if (server == QLatin1String("close")) sim.server.closeSessions();
    if (server == QLatin1String("go away")) sim.server.goAway();
    if (server == QLatin1String("reset")) sim.server.goAway(true);
    if (server == QLatin1String("ignore")) sim.server.ignoreKeepAlives(true);
    QTRY_COMPARE_WITH_TIMEOUT(lost.size(), 1, kDeadline);
    QVERIFY(!link.isOpen());
    QVERIFY2(lost[0][0].toString().contains(why), qPrintable(lost[0][0].toString()));
    QVERIFY(!link.sendFrame(bytes(hex("02 80 00 00 82"))));
    // Reported once, however the socket goes on failing.
    QTest::qWait(100);
    QCOMPARE(lost.size(), 1);
    link.close();
}

void HartIpLinkTest::sendingNeedsAnOpenSession() {
    SimServer sim;
    HartIpLink link;
    QVERIFY(!link.sendFrame(bytes(hex("FF 02 80 00 00 82"))));
    link.open(sim.address(Transport::Udp));
    QVERIFY(!link.sendFrame(bytes(hex("FF FF FF")))); // preambles and nothing else
    QVERIFY(link.sendFrame(bytes(hex("FF 02 80 00 00 82"))));
    link.close();
    link.close(); // twice does no harm
    QVERIFY(!link.sendFrame(bytes(hex("FF 02 80 00 00 82"))));
    QTRY_VERIFY_WITH_TIMEOUT(sim.server.stats().closedByClient == 1, kDeadline);
    QCOMPARE(sim.server.stats().pdus, 1);
}

void HartIpLinkTest::addresses_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("isAddress");
    QTest::addColumn<QString>("parsed"); // Address::text(), or the start of the error
    QTest::newRow("tcp, default port") << "hartip://gw.plant" << true << "hartip://gw.plant:5094";
    QTest::newRow("tcp, port") << "hartip://10.0.0.7:20004" << true << "hartip://10.0.0.7:20004";
    QTest::newRow("udp") << "hartip+udp://10.0.0.7" << true << "hartip+udp://10.0.0.7:5094";
    QTest::newRow("upper case, blanks, slash")
        << " HARTIP+UDP://Gw:5095/ " << true << "hartip+udp://gw:5095";
    QTest::newRow("ipv6") << "hartip://[::1]:5094" << true << "hartip://[::1]:5094";
    QTest::newRow("serial device") << "/dev/ttyUSB0" << false << "Invalid HART-IP address";
    QTest::newRow("other scheme") << "http://gw" << false << "Invalid HART-IP address";
    QTest::newRow("no host") << "hartip://:5094" << true << "Invalid HART-IP address";
    QTest::newRow("port 0") << "hartip://gw:0" << true << "Invalid HART-IP address";
    QTest::newRow("port too big") << "hartip://gw:65536" << true << "Invalid HART-IP address";
    QTest::newRow("empty port") << "hartip://gw:" << true << "Invalid HART-IP address";
    QTest::newRow("path") << "hartip://gw/x" << true << "Invalid HART-IP address";
    QTest::newRow("secure tcp") << "hartips://gw.plant" << true << "hartips://gw.plant:5094";
    QTest::newRow("secure udp") << "HARTIPS+UDP://10.0.0.7:20004" << true
                                << "hartips+udp://10.0.0.7:20004";
    QTest::newRow("secure, no host") << "hartips://" << true << "Invalid HART-IP address";
}

void HartIpLinkTest::addresses() {
    QFETCH(QString, typed);
    QFETCH(bool, isAddress);
    QFETCH(QString, parsed);
    QCOMPARE(hartip::isAddress(typed), isAddress);
    QString got;
    try {
        got = hartip::parseAddress(typed).text();
    } catch (const hartip::HartIpError& e) {
        got = QString::fromStdString(e.what());
    }
    QVERIFY2(got.startsWith(parsed), qPrintable(got));
}

void HartIpLinkTest::captureReadByTshark() {
    const QString tshark = tsharkProgram();
    if (tshark.isEmpty()) {
        if (qEnvironmentVariableIsSet("CI")) QFAIL("tshark is needed here and is not installed");
        QSKIP("tshark is not installed");
    }
    // One session over UDP, every message written to a capture as it went:
    // initiate (the server grants 900 ms: status 8), a command-0 PDU, at
    // least one keep-alive, close.
    SimServer sim;
    sim.server.setInactivityCloseTime(900);
    std::vector<std::pair<hart::pcapng::Direction, QByteArray>> messages; // outlives the link
    HartIpLink link;
    connect(&link, &HartIpLink::messageSent, this, [&](const QByteArray& m) {
        messages.emplace_back(hart::pcapng::Direction::ToDevice, m);
    });
    connect(&link, &HartIpLink::messageReceived, this, [&](const QByteArray& m) {
        messages.emplace_back(hart::pcapng::Direction::FromDevice, m);
    });
    QSignalSpy received(&link, &HartIpLink::received);
    link.open(sim.address(Transport::Udp));
    QVERIFY(link.sendFrame(bytes(hex("FF FF FF FF FF 02 80 00 00 82"))));
    QTRY_COMPARE_WITH_TIMEOUT(received.size(), 1, kDeadline);
    QTRY_VERIFY_WITH_TIMEOUT(sim.server.stats().keepAlives >= 1, kDeadline);
    QTRY_VERIFY_WITH_TIMEOUT(messages.size() >= 6, kDeadline);
    link.close();

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("session.pcapng"));
    {
        std::ofstream out(path.toStdString(), std::ios::binary);
        hart::pcapng::Writer writer(out);
        std::uint16_t ipId = 0;
        std::uint64_t when = 1'700'000'000'000'000;
        for (const auto& [direction, m] : messages)
            writer.writePacket(hart::pcapng::hartIpPacket(direction, bytes(m),
                                                          hart::pcapng::kDefaultToolPort, ++ipId),
                               when += 1000);
        QVERIFY(writer.good());
    }

    const QStringList fields{"hart_ip.message_type",
                             "hart_ip.message_id",
                             "hart_ip.status",
                             "hart_ip.transaction_id",
                             "hart_ip.msg_length",
                             "hart_ip.session_init.master_type",
                             "hart_ip.session_init.inactivity_close_timer",
                             "hart_ip.pt.command",
                             "hart_ip.pt.response_code",
                             "_ws.malformed",
                             "_ws.expert.message"};
    QStringList args{"-r", path, "-T", "fields", "-E", "separator=/t", "-E", "occurrence=f"};
    for (const QString& f : fields)
        args << QStringLiteral("-e") << f;
    QProcess p;
    p.start(tshark, args);
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitCode(), 0);
    const QStringList lines =
        QString::fromUtf8(p.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), qsizetype(messages.size()));

    // What each packet must show, by kind: type, id, status, length, host
    // type, inactivity time, command, response code. Written out from the
    // messages this session exchanges, not read from the link.
    struct Expect {
        const char* what;
        QStringList shown;
    };
    const Expect initiate{"initiate", {"0", "0", "0", "13", "1", "60000", "", ""}};
    const Expect granted{"granted", {"1", "0", "8", "13", "1", "900", "", ""}};
    const Expect pdu{"command 0", {"0", "3", "0", "13", "", "", "0", ""}};
    const Expect identity{"identity", {"1", "3", "0", "27", "", "", "0", "0"}};
    const Expect keepAlive{"keep-alive", {"0", "2", "0", "8", "", "", "", ""}};
    const Expect keepAliveAnswer{"keep-alive answer", {"1", "2", "0", "8", "", "", "", ""}};
    const Expect close{"close", {"0", "1", "0", "8", "", "", "", ""}};
    const Expect closed{"close answer", {"1", "1", "0", "8", "", "", "", ""}};
    std::vector<const Expect*> expected{&initiate, &granted, &pdu, &identity};
    for (qsizetype i = 4; i + 2 < lines.size(); i += 2) {
        expected.push_back(&keepAlive);
        expected.push_back(&keepAliveAnswer);
    }
    expected.push_back(&close);
    expected.push_back(&closed);
    QCOMPARE(expected.size(), std::size_t(lines.size()));

    int lastSequence = -1;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QStringList shown = lines[i].split(u'\t');
        QCOMPARE(shown.size(), fields.size());
        const Expect& e = *expected[std::size_t(i)];
        const QString row = QStringLiteral("packet %1 (%2): %3").arg(i + 1).arg(e.what, lines[i]);
        const QStringList got{shown[0], shown[1], shown[2], shown[4],
                              shown[5], shown[6], shown[7], shown[8]};
        QVERIFY2(got == e.shown, qPrintable(row));
        // Dissected cleanly: nothing malformed, no expert remark but the
        // dissector's note that a header-only message (keep-alive, close)
        // has no body, which is how those messages are.
        QVERIFY2(shown[9].isEmpty(), qPrintable(row));
        const bool headerOnly = shown[4] == QLatin1String("8");
        QVERIFY2(shown[10].isEmpty() || (headerOnly && shown[10] == QLatin1String("No data")),
                 qPrintable(row));
        // A response carries its request's sequence number; requests count up.
        const int sequence = shown[3].toInt();
        if (i % 2 == 0) {
            if (lastSequence >= 0) QVERIFY2(sequence == lastSequence + 1, qPrintable(row));
            lastSequence = sequence;
        } else {
            QVERIFY2(sequence == lastSequence, qPrintable(row));
        }
    }
}

void HartIpLinkTest::secureSession() {
    QFETCH(QString, transport);
    const bool udp = transport == QLatin1String("udp");
    SecureServer sim;
    sim.server.setInactivityCloseTime(1500);
    HartIpLink link;
    giveCredentials(link, credentials());
    QSignalSpy received(&link, &HartIpLink::received);
    QSignalSpy lost(&link, &HartIpLink::lost);
    link.open(sim.address(transportOf(transport)));
    QVERIFY(link.isOpen());
    QVERIFY(link.isSecure());
    QCOMPARE(link.securityText(),
             QStringLiteral("HART-IP v2, %1, PSK-AES128-GCM-SHA256, identity HART-IPClient")
                 .arg(udp ? QStringLiteral("DTLS 1.2") : QStringLiteral("TLS 1.2")));
    // The server notes the cipher on its own thread, maybe after the client
    // has finished its side of the handshake.
    QVERIFY(sim.server.waitStats(
        [](const auto& st) { return st.lastCipher == "PSK-AES128-GCM-SHA256"; }));

    // A query: command 0 by polling address.
    QVERIFY(link.sendFrame(bytes(hex("FF FF FF FF FF 02 80 00 00 82"))));
    QTRY_COMPARE_WITH_TIMEOUT(received.size(), 1, kDeadline);
    const QByteArray identity = received[0][0].toByteArray();
    // HART 5 identity: rc, status and 12 data bytes.
    QCOMPARE(identity.left(9), hex("FF FF FF FF FF 06 80 00 0E"));
    QCOMPARE(identity[9], char(0)); // response code: success

    // A write: command 17, message "SECURE HART-IP TEST" packed (24 bytes).
    const QByteArray message = hex("4C 51 53 49 52 05 20 81 25 50 54 14 51 34 C1 48 20 82 08 20 "
                                   "82 08 20 82");
    QVERIFY(link.sendFrame(frameTo(17, message)));
    QTRY_COMPARE_WITH_TIMEOUT(received.size(), 2, kDeadline);
    const QByteArray written = received[1][0].toByteArray();
    QCOMPARE(written.mid(5, 8), hex("86 A6 05 01 02 03 11 1A")); // 26 bytes: rc, status, 24
    QCOMPARE(written[13], char(0));
    QCOMPARE(written.mid(15, 24), message);

    // Idle: keep-alives inside TLS hold the session past its 1.5 s.
    QTRY_VERIFY_WITH_TIMEOUT(sim.server.stats().keepAlives >= 4, kDeadline);
    QCOMPARE(lost.size(), 0);
    QVERIFY(link.isOpen());

    link.close();
    QTRY_COMPARE_WITH_TIMEOUT(sim.server.stats().closedByClient, 1, kDeadline);
    const auto stats = sim.server.stats();
    QCOMPARE(stats.secureSessions, 1);
    QCOMPARE(stats.pdus, 2);
    QCOMPARE(stats.clearPdus, 0);
    QCOMPARE(stats.malformed, 0);
    // In the clear the server saw the version 2 initiate and nothing else.
    const auto clear = sim.server.clearMessages();
    QCOMPARE(clear.size(), std::size_t(1));
    QCOMPARE(clear[0][0], std::uint8_t(2)); // version
    QCOMPARE(clear[0][2], std::uint8_t(0)); // session initiate
    // The server's audit record: a secure session with writes, closed.
    const auto audit = sim.server.auditRecords();
    QCOMPARE(audit.size(), std::size_t(1));
    QCOMPARE(audit[0].sessionStatus, std::uint16_t(hart::ip::kWritesOccurred));
    QCOMPARE(audit[0].requestPdus, 2u);
}

void HartIpLinkTest::secureSessionLoss() {
    QFETCH(QString, transport);
    SecureServer sim;
    HartIpLink link;
    giveCredentials(link, credentials());
    QSignalSpy lost(&link, &HartIpLink::lost);
    link.open(sim.address(transportOf(transport)));
    QVERIFY(link.isSecure());
    // The server ends the session: over TLS the connection closes, over DTLS
    // the server says so with its close_notify.
    sim.server.closeSessions();
    QTRY_COMPARE_WITH_TIMEOUT(lost.size(), 1, kDeadline);
    QVERIFY(!link.isOpen());
    QVERIFY(!link.isSecure());
    QVERIFY(link.securityText().isEmpty());
    QVERIFY(!link.sendFrame(bytes(hex("02 80 00 00 82"))));
    link.close();
}

void HartIpLinkTest::secureOpenFails_data() {
    QTest::addColumn<QString>("transport");
    QTest::addColumn<QString>("server");   // how the server is set up
    QTest::addColumn<QString>("identity"); // the client's
    QTest::addColumn<QString>("key");      // the client's, hex
    QTest::addColumn<QString>("reason");   // part of the message
    QTest::newRow("tcp, wrong key")
        << "tcp"
        << "psk"
        << "HART-IPClient"
        << "00112233445566778899aabbccddeeff"
        << "the key does not match the one the server holds for identity \"HART-IPClient\"";
    const char* kRows[][5] = {
        {"wrong identity", "psk", "SomeoneElse", kKeyHex,
         "the server does not know the identity \"SomeoneElse\""},
        {"server without PSK suites", "no psk", "HART-IPClient", kKeyHex,
         "the server offers none of the PSK cipher suites this program speaks"},
        {"security not initialized", "uninitialized", "HART-IPClient", kKeyHex,
         "refused the session: security not initialized (the server has no keys yet) (status 9)"},
        {"no credentials", "psk", "", "", "no client identity and key were given"},
    };
    for (const char* transport : {"tcp", "udp"})
        for (const auto& row : kRows)
            QTest::addRow("%s, %s", transport, row[0])
                << transport << row[1] << row[2] << row[3] << row[4];
    // A DTLS server drops what it cannot decrypt without an alert: the
    // handshake ends in silence, and the message says what that means.
    QTest::addRow("udp, wrong key (silence)")
        << "udp"
        << "psk"
        << "HART-IPClient"
        << "00112233445566778899aabbccddeeff"
        << "the key is likely not the one the server holds for identity \"HART-IPClient\"";
}

void HartIpLinkTest::secureOpenFails() {
    QFETCH(QString, transport);
    QFETCH(QString, server);
    QFETCH(QString, identity);
    QFETCH(QString, key);
    QFETCH(QString, reason);
    sim::HartIpSecurity security{"HART-IPClient", keyBytes()};
    security.pskSuites = server != QLatin1String("no psk");
    security.initialized = server != QLatin1String("uninitialized");
    SecureServer sim(security);
    HartIpLink link;
    link.setTiming({.responseWaitMs = 4000});
    if (!identity.isEmpty()) giveCredentials(link, credentials(identity, qPrintable(key)));
    QSignalSpy sent(&link, &HartIpLink::messageSent);
    const QString error = openError(link, sim.address(transportOf(transport)));
    QVERIFY2(error.contains(reason), qPrintable(error));
    QVERIFY(!link.isOpen());
    QVERIFY(!link.isSecure());
    QVERIFY(!link.sendFrame(bytes(hex("02 80 00 00 82"))));
    // Nothing but the initiate went out, and no HART PDU reached the server.
    QVERIFY(sent.size() <= 1);
    for (const auto& args : sent)
        QCOMPARE(args[0].toByteArray()[2], char(0));
    const auto stats = sim.server.stats();
    QCOMPARE(stats.pdus, 0);
    QCOMPARE(stats.clearPdus, 0);
    QCOMPARE(stats.secureSessions, 0);
}

void HartIpLinkTest::secureAddressToAVersion1ServerSendsNothingInTheClear_data() {
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("reason");
    QTest::newRow("simulator in version 1")
        << "sim"
        << "in version 1, version not supported (status 14); no session was opened";
    QTest::newRow("server that grants it in version 1")
        << "grants v1"
        << "answered the version 2 session request in version 1; no session";
    QTest::newRow("answer in version 0x47") << "v71"
                                            << "in version 71; no session was opened";
    QTest::newRow("server that drops TLS")
        << "drops tls"
        << "did not open a secure session: the TLS handshake failed";
}

void HartIpLinkTest::secureAddressToAVersion1ServerSendsNothingInTheClear() {
    QFETCH(QString, server);
    QFETCH(QString, reason);
    HartIpLink link;
    giveCredentials(link, credentials());
    QString error;
    QList<QByteArray> seen; // every message the server received, whole
    if (server == QLatin1String("sim")) {
        SimServer sim; // version 1 only
        Address a = sim.address(Transport::Tcp);
        a.secure = true;
        error = openError(link, a);
        for (const auto& m : sim.server.clearMessages())
            seen.append(QByteArray(reinterpret_cast<const char*>(m.data()), qsizetype(m.size())));
        QCOMPARE(sim.server.stats().sessionsOpened, 0);
    } else {
        ScriptedServer scripted(Transport::Tcp);
        const bool dropsTls = server == QLatin1String("drops tls");
        const std::uint8_t version = server == QLatin1String("v71") ? 0x47 : dropsTls ? 2 : 1;
        scripted.onMessage = [&](const QByteArray& m) {
            if (m[2] != 0) return;
            scripted.send(answer(m, 1, 0, m.mid(8), version));
            // Granted in version 2, and then no TLS: the connection ends.
            if (dropsTls) scripted.connection()->close();
        };
        Address a = scripted.address();
        a.secure = true;
        error = openError(link, a);
        // Whatever the link sends after giving up would show up here.
        QTest::qWait(200);
        seen = scripted.received();
    }
    QVERIFY2(error.contains(reason), qPrintable(error));
    QVERIFY(!link.isOpen());
    // One message in the clear: the version 2 initiate. No PDU, no version 1.
    QCOMPARE(seen.size(), 1);
    QCOMPARE(seen[0].left(3), hex("02 00 00"));
    // And as Wireshark reads it: version 2, session initiate (0), no command.
    if (tsharkProgram().isEmpty()) {
        if (qEnvironmentVariableIsSet("CI")) QFAIL("tshark is needed here and is not installed");
        QSKIP("tshark is not installed");
    }
    QCOMPARE(tsharkReadsSent(seen), QStringList{QStringLiteral("2,0,")});
}

void HartIpLinkTest::noKeyBytesInNotesMessagesOrCapture() {
    SecureServer sim;
    HartIpLink link;
    giveCredentials(link, credentials());
    QStringList notes;
    QList<QByteArray> messages;
    QString failures;
    connect(&link, &HartIpLink::note, this, [&](const QString& n) { notes << n; });
    connect(&link, &HartIpLink::messageSent, this, [&](const QByteArray& m) { messages << m; });
    connect(&link, &HartIpLink::messageReceived, this, [&](const QByteArray& m) { messages << m; });
    QSignalSpy received(&link, &HartIpLink::received);
    link.open(sim.address());
    QVERIFY(link.sendFrame(bytes(hex("FF FF FF FF FF 02 80 00 00 82"))));
    QTRY_COMPARE_WITH_TIMEOUT(received.size(), 1, kDeadline);
    link.close();
    // A failed open with a wrong key says why, and that text is kept too.
    HartIpLink wrong;
    giveCredentials(
        wrong, credentials(QStringLiteral("HART-IPClient"), "0f0e0d0c0b0a09080706050403020100"));
    connect(&wrong, &HartIpLink::note, this, [&](const QString& n) { notes << n; });
    failures = openError(wrong, sim.address());
    QVERIFY(!failures.isEmpty());

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("secure.pcapng"));
    {
        std::ofstream out(path.toStdString(), std::ios::binary);
        hart::pcapng::Writer writer(out);
        std::uint64_t when = 1'700'000'000'000'000;
        std::uint16_t ipId = 0;
        for (const QByteArray& m : messages)
            writer.writePacket(hart::pcapng::hartIpPacket(hart::pcapng::Direction::ToDevice,
                                                          bytes(m), hart::pcapng::kDefaultToolPort,
                                                          ++ipId),
                               when += 1000);
    }
    QFile capture(path);
    QVERIFY(capture.open(QIODevice::ReadOnly));
    const QByteArray captured = capture.readAll();

    const QByteArray key = QByteArray::fromHex(kKeyHex);
    const QByteArray keyText = QByteArray(kKeyHex);
    const QByteArray everything =
        notes.join(u'\n').toUtf8() + failures.toUtf8() + messages.join() + captured;
    QVERIFY(!notes.isEmpty());
    QVERIFY(messages.size() >= 4);
    QVERIFY2(!everything.contains(key), "key bytes found");
    QVERIFY2(!everything.toLower().contains(keyText), "key hex text found");
    QVERIFY2(!everything.toLower().contains("0f0e0d0c0b0a0908"), "wrong key's text found");
    // Nor half of it: no 8-byte run of the key.
    for (int at = 0; at + 8 <= key.size(); ++at)
        QVERIFY2(!everything.contains(key.mid(at, 8)), qPrintable(QString::number(at)));
}

void HartIpLinkTest::directPduAndAuditLog() {
    SecureServer sim;
    HartIpLink link;
    giveCredentials(link, credentials());
    link.open(sim.address());
    // Commands 0, 13 and 48 in one request.
    const auto r = link.directPdu({{0, {}}, {13, {}}, {48, {}}});
    QCOMPARE(r.replies.size(), std::size_t(3));
    QCOMPARE(r.replies[0].command, std::uint16_t(0));
    QCOMPARE(r.replies[0].responseCode, std::uint8_t(0));
    // Command 0's data: 254, then the expanded device type 26 05 as the long
    // address names it.
    QVERIFY(r.replies[0].data.size() >= 12);
    QCOMPARE(r.replies[0].data[0], std::uint8_t(254));
    QCOMPARE(r.replies[0].data[2], std::uint8_t(0x05));
    QCOMPARE(r.replies[1].command, std::uint16_t(13));
    QCOMPARE(r.replies[1].data.size(), std::size_t(21)); // tag, descriptor, date
    QCOMPARE(r.replies[2].command, std::uint16_t(48));
    QCOMPARE(sim.server.stats().directPdus, 1);
    QCOMPARE(sim.server.stats().pdus, 0); // one message, not one PDU per command

    const auto log = link.readAuditLog(0, 16);
    QCOMPARE(log.records.size(), std::size_t(1));
    const auto& record = log.records[0];
    QCOMPARE(record.clientIpv4, (std::array<std::uint8_t, 4>{127, 0, 0, 1}));
    QCOMPARE(record.serverPort, sim.server.port());
    QCOMPARE(record.disconnectTime, ~std::uint64_t{0}); // still connected
    QCOMPARE(record.sessionStatus, std::uint16_t(0));   // secure, no writes yet
    link.close();

    // Without a session neither goes out.
    bool refused = false;
    try {
        link.readAuditLog();
    } catch (const hartip::HartIpError&) {
        refused = true;
    }
    QVERIFY(refused);
}

void HartIpLinkTest::malformedMessagesAreDroppedUnread_data() {
    QTest::addColumn<QString>("transport");
    QTest::addColumn<QString>("reply"); // what the server sends for the PDU, hex
    QTest::addColumn<QString>("why");   // part of the note
    // The awaited answer's frame: 06 80 00 02 40 00 C4 (7 bytes, count 15).
    QTest::newRow("udp, version 0") << "udp"
                                    << "00 01 03 00 SS SS 00 0F 06 80 00 02 40 00 C4"
                                    << "version 0 in a version 1 session";
    QTest::newRow("tcp, version 2 in a version 1 session")
        << "tcp"
        << "02 01 03 00 SS SS 00 0F 06 80 00 02 40 00 C4"
        << "version 2 in a version 1";
    QTest::newRow("tcp, count too large") << "tcp"
                                          << "01 01 03 00 SS SS 00 12 06 80 00 02 40 00 C4"
                                          << "byte count 18 disagrees";
    QTest::newRow("tcp, count too small") << "tcp"
                                          << "01 01 03 00 SS SS 00 0D 06 80 00 02 40 00"
                                          << "byte count 13 disagrees";
    QTest::newRow("udp, count too small") << "udp"
                                          << "01 01 03 00 SS SS 00 0E 06 80 00 02 40 00"
                                          << "byte count 14 disagrees";
}

void HartIpLinkTest::malformedMessagesAreDroppedUnread() {
    QFETCH(QString, transport);
    QFETCH(QString, reply);
    QFETCH(QString, why);
    ScriptedServer server(transportOf(transport));
    HartIpLink link;
    link.setTiming({.keepAliveAnswerMs = 60000});
    QSignalSpy received(&link, &HartIpLink::received);
    QSignalSpy notes(&link, &HartIpLink::note);
    QSignalSpy lost(&link, &HartIpLink::lost);
    link.open(server.address());
    server.onMessage = nullptr;
    QVERIFY(link.sendFrame(bytes(hex("FF FF FF FF FF 02 80 00 00 82"))));
    QTRY_COMPARE_WITH_TIMEOUT(server.received().size(), 2, kDeadline);
    const QByteArray pdu = server.received()[1];
    QString withSequence = reply;
    withSequence.replace(QLatin1String("SS SS"), QString::fromLatin1(pdu.mid(4, 2).toHex(' ')));
    // The malformed reply, the rest of a cut frame where there is one, then
    // a keep-alive answer (sequence 0x7777) behind it.
    QByteArray stream = hex(qPrintable(withSequence));
    if (why.contains(QLatin1String("13 disagrees"))) stream += hex("C4");
    const QByteArray keepAlive = hex("01 01 02 00 77 77 00 08");
    if (transport == QLatin1String("udp")) {
        server.send(stream);
        server.send(keepAlive);
    } else {
        server.send(stream + keepAlive);
    }
    QTRY_VERIFY_WITH_TIMEOUT(notesWith(notes, QStringLiteral("dropped as malformed")) == 1,
                             kDeadline);
    QVERIFY2(notesWith(notes, why) == 1, qPrintable(notes.last()[0].toString()));
    QCOMPARE(link.malformedCount(), 1);
    // The keep-alive answer behind it was read: the stream kept its framing.
    QTRY_VERIFY_WITH_TIMEOUT(notesWith(notes, QStringLiteral("dropped: late or duplicate")) == 0 &&
                                 server.received().size() == 2,
                             kDeadline);
    QCOMPARE(received.size(), 0); // never handed on as a reply
    QCOMPARE(lost.size(), 0);
    QVERIFY(link.isOpen());
    // A well-formed answer to the same request still comes through.
    server.send(answer(pdu, 1, 0, hex("06 80 00 02 40 00 C4")));
    QTRY_COMPARE_WITH_TIMEOUT(received.size(), 1, kDeadline);
    QCOMPARE(received[0][0].toByteArray(), hex("FF FF FF FF FF 06 80 00 02 40 00 C4"));
    server.onMessage = [&](const QByteArray& m) { server.send(answer(m, 1, 0)); };
    link.close();
}

void HartIpLinkTest::keysFromHexText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("key"); // hex of the bytes, or the start of the error
    QTest::newRow("16 bytes") << "000102030405060708090a0b0c0d0e0f"
                              << "000102030405060708090a0b0c0d0e0f";
    QTest::newRow("upper case, blanks, colons, newline")
        << "77 77 77 2E:68 61 72 74 63 6F 6D 6D 2E 6F 72 67\n"
        << "7777772e68617274636f6d6d2e6f7267";
    QTest::newRow("15 bytes") << "000102030405060708090a0b0c0d0e"
                              << "The HART-IP key must be at least 16 bytes";
    QTest::newRow("odd digit") << "000102030405060708090a0b0c0d0e0f1"
                               << "The HART-IP key has an odd number";
    QTest::newRow("not hex") << "www.hartcomm.org"
                             << "The HART-IP key must be hexadecimal";
}

void HartIpLinkTest::keysFromHexText() {
    QFETCH(QString, text);
    QFETCH(QString, key);
    QString got;
    try {
        got = QString::fromLatin1(hartip::keyFromHex(text).toHex());
    } catch (const hartip::HartIpError& e) {
        got = QString::fromStdString(e.what());
        // The message never repeats what was typed.
        QVERIFY2(!got.contains(text.trimmed()), qPrintable(got));
    }
    QVERIFY2(got.startsWith(key), qPrintable(got));

    // The same text in a key file, with an identity from the command line.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("key"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(text.toUtf8());
    f.close();
    try {
        const auto c = hartip::credentialsFromFile(QStringLiteral("Gateway-7"), path);
        QCOMPARE(QString::fromLatin1(c.key.toHex()), key);
        QCOMPARE(c.identity, QStringLiteral("Gateway-7"));
    } catch (const hartip::HartIpError& e) {
        QVERIFY2(QString::fromStdString(e.what()).contains(key), e.what());
    }
    const auto defaulted = [&] {
        try {
            return hartip::credentialsFromFile(QString(), path).identity;
        } catch (const hartip::HartIpError&) {
            return QStringLiteral("HART-IPClient");
        }
    }();
    QCOMPARE(defaulted, QStringLiteral("HART-IPClient"));
}

void HartIpLinkTest::tlsKeyBytesByKeyForm() {
    hartip::Credentials c;
    c.key = QByteArray::fromHex("7777772e68617274636f6d6d2e6f7267");
    c.keyForm = hartip::KeyForm::Raw;
    QCOMPARE(hartip::tlsKey(c), QByteArray("www.hartcomm.org"));
    c.keyForm = hartip::KeyForm::HexText;
    QCOMPARE(hartip::tlsKey(c), QByteArray("7777772e68617274636f6d6d2e6f7267"));
    c.keyForm = hartip::KeyForm::HexTextWithNul;
    QCOMPARE(hartip::tlsKey(c), QByteArray("7777772e68617274636f6d6d2e6f7267") + '\0');
    c.identity = QStringLiteral("Clé-1");
    QCOMPARE(hartip::identityBytes(c), QByteArray("Cl\xC3\xA9-1"));
    c.identityEncoding = hartip::IdentityEncoding::Latin1;
    QCOMPARE(hartip::identityBytes(c), QByteArray("Cl\xE9-1"));
    // A server that stores the hex text takes it as the key: the session opens.
    SecureServer sim({"HART-IPClient", bytes(QByteArray(kKeyHex))});
    HartIpLink link;
    hartip::Credentials textual = credentials();
    textual.keyForm = hartip::KeyForm::HexText;
    giveCredentials(link, textual);
    link.open(sim.address());
    QVERIFY(link.isSecure());
    link.close();
}

QTEST_GUILESS_MAIN(HartIpLinkTest)
#include "tst_hartip_link.moc"
