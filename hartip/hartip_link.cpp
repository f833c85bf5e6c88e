#include "hartip/hartip_link.h"

#include "hart/protocol.h"

#include <QDeadlineTimer>
#include <QDtls>
#include <QEventLoop>
#include <QHostInfo>
#include <QSslCipher>
#include <QSslConfiguration>
#include <QSslPreSharedKeyAuthenticator>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>

#include <QScopeGuard>

#include <algorithm>
#include <utility>

namespace hartip {

namespace ip = hart::ip;

namespace {

// What a modem puts in front of every reply; the readers locate a reply by
// the preamble before its delimiter.
constexpr int kDeliveredPreambles = 5;
// Two keep-alives in a row without an answer: the server is gone. One may be
// lost on the way over UDP.
constexpr int kKeepAlivesMissedForLoss = 2;

QByteArray bytesOf(const std::vector<std::uint8_t>& v) {
    return QByteArray(reinterpret_cast<const char*>(v.data()), static_cast<qsizetype>(v.size()));
}

QString seconds(int ms) {
    return QString::number(ms / 1000.0, 'g', 3);
}

const char* typeName(ip::MessageType type) {
    return type == ip::MessageType::Nak ? "a NAK" : "an error message";
}

// The PSK suites HART-IP servers offer, in the order this program prefers
// them; those the TLS library here lacks (PSK-AES128-CCM with Qt's OpenSSL
// backend) are left out.
constexpr const char* kPskSuites[] = {"PSK-AES128-GCM-SHA256", "PSK-AES128-CCM",
                                      "PSK-AES128-CBC-SHA256"};

QList<QSslCipher> pskCiphers() {
    QList<QSslCipher> ciphers;
    for (const char* name : kPskSuites)
        if (const QSslCipher c{QString::fromLatin1(name)}; !c.isNull()) ciphers.append(c);
    return ciphers;
}

QString protocolName(QSsl::SslProtocol protocol) {
    switch (protocol) {
    case QSsl::TlsV1_2:
        return QStringLiteral("TLS 1.2");
    case QSsl::TlsV1_3:
        return QStringLiteral("TLS 1.3");
    case QSsl::DtlsV1_2:
        return QStringLiteral("DTLS 1.2");
    default:
        return QStringLiteral("TLS");
    }
}

// What an OpenSSL alert or error in a failed handshake means for the user.
struct HandshakeReason {
    const char* found;
    const char* meaning; // %1: the identity
};
constexpr HandshakeReason kHandshakeReasons[] = {
    {"unknown psk identity", "the server does not know the identity \"%1\""},
    {"decrypt error", "the key does not match the one the server holds for identity \"%1\""},
    {"bad record mac", "the key does not match the one the server holds for identity \"%1\""},
    {"decryption failed", "the key does not match the one the server holds for identity \"%1\""},
    {"handshake failure", "the server offers none of the PSK cipher suites this program speaks"},
    {"no shared cipher", "the server offers none of the PSK cipher suites this program speaks"},
    {"no cipher", "the server offers none of the PSK cipher suites this program speaks"},
};

} // namespace

HartIpLink::HartIpLink(QObject* parent)
    : Link(parent), idleTimer_(new QTimer(this)), keepAliveTimer_(new QTimer(this)) {
    idleTimer_->setSingleShot(true);
    keepAliveTimer_->setSingleShot(true);
    connect(idleTimer_, &QTimer::timeout, this, &HartIpLink::sendKeepAlive);
    connect(keepAliveTimer_, &QTimer::timeout, this, &HartIpLink::onKeepAliveUnanswered);
}

HartIpLink::~HartIpLink() {
    close();
}

void HartIpLink::open() {
    if (state_ == State::Opening) throw HartIpError("A HART-IP session is being opened already");
    close();
    const Address address = address_;
    version_ = address.secure ? ip::kSecureVersion : ip::kVersion;
    // Until the initiate is answered any version comes through, to be judged.
    stream_ = ip::StreamReassembler(std::nullopt);
    initiateAnswer_.reset();
    forgetAwaited();
    awaitedKeepAlive_.reset();
    keepAlivesMissed_ = 0;
    socketFailure_.clear();
    security_.reset();
    encrypted_ = false;
    malformed_ = 0;
    callSequence_.reset();
    callAnswer_.reset();
    ++generation_;

    auto refuse = [](const QString& text) { throw HartIpError(text.toStdString()); };
    std::optional<Credentials> credentials;
    if (address.secure) {
        if (!QSslSocket::supportsSsl())
            refuse(QStringLiteral("Cannot open %1: no TLS library is available (%2)")
                       .arg(where(), QSslSocket::sslLibraryBuildVersionString()));
        if (credentials_) credentials = credentials_(address);
        if (!credentials || credentials->key.isEmpty())
            refuse(QStringLiteral("Cannot open %1: no client identity and key were given for it")
                       .arg(where()));
    }
    const auto wipe = qScopeGuard([&credentials] {
        if (credentials) credentials->wipe();
    });
    state_ = State::Opening;

    if (address.transport == Transport::Udp)
        socket_ = std::make_unique<QUdpSocket>();
    else if (address.secure)
        socket_ = std::make_unique<QSslSocket>();
    else
        socket_ = std::make_unique<QTcpSocket>();
    connect(socket_.get(), &QAbstractSocket::readyRead, this, &HartIpLink::onReadyRead);
    connect(socket_.get(), &QAbstractSocket::connected, this, &HartIpLink::progressed);
    connect(socket_.get(), &QAbstractSocket::disconnected, this, &HartIpLink::onDisconnected);
    connect(socket_.get(), &QAbstractSocket::errorOccurred, this, &HartIpLink::onSocketError);

    auto fail = [this](const QString& text) {
        dropSocket();
        state_ = State::Closed;
        throw HartIpError(text.toStdString());
    };

    bool connected = false;
    if (address.secure && address.transport == Transport::Udp) {
        // DTLS writes each datagram to an address of its own, so the socket
        // is bound, not connected: the host is looked up here.
        std::optional<QHostInfo> found;
        const int lookup =
            QHostInfo::lookupHost(address.host, this, [this, &found](const QHostInfo& i) {
                found = i;
                emit progressed();
            });
        waitUntil([&found] { return found.has_value(); }, timing_.connectWaitMs);
        if (!found) QHostInfo::abortHostLookup(lookup);
        if (found && found->error() != QHostInfo::NoError)
            socketFailure_ = found->errorString();
        else if (found && !found->addresses().isEmpty())
            peer_ = found->addresses().constFirst();
        peerPort_ = address.port;
        if (!peer_.isNull()) {
            const QHostAddress any = peer_.protocol() == QAbstractSocket::IPv6Protocol
                                         ? QHostAddress(QHostAddress::AnyIPv6)
                                         : QHostAddress(QHostAddress::AnyIPv4);
            connected = static_cast<QUdpSocket*>(socket_.get())->bind(any, 0);
            if (!connected && socketFailure_.isEmpty()) socketFailure_ = socket_->errorString();
        }
    } else {
        socket_->connectToHost(address.host, address.port);
        connected = waitUntil(
            [this] {
                return socket_->state() == QAbstractSocket::ConnectedState ||
                       !socketFailure_.isEmpty();
            },
            timing_.connectWaitMs);
    }
    if (!socketFailure_.isEmpty())
        fail(QStringLiteral("Cannot reach HART-IP server %1: %2").arg(where(), socketFailure_));
    if (!connected)
        fail(QStringLiteral("Cannot reach HART-IP server %1: no connection within %2 s")
                 .arg(where(), seconds(timing_.connectWaitMs)));

    initiateSequence_ =
        send(ip::MessageId::SessionInitiate,
             ip::encodeSessionInitiate({ip::kPrimaryHost, timing_.inactivityCloseTime}));
    emit note(QStringLiteral("HART-IP session initiate to %1 (version %2, primary host, "
                             "inactivity close time %3 ms)")
                  .arg(where())
                  .arg(version_)
                  .arg(timing_.inactivityCloseTime));
    waitUntil([this] { return initiateAnswer_ || !socketFailure_.isEmpty(); },
              timing_.responseWaitMs);
    initiateSequence_.reset();
    if (!initiateAnswer_) {
        if (!socketFailure_.isEmpty())
            fail(QStringLiteral("HART-IP server %1 did not open a session: %2")
                     .arg(where(), socketFailure_));
        fail(QStringLiteral("HART-IP server %1 did not answer the session request within %2 s")
                 .arg(where(), seconds(timing_.responseWaitMs)));
    }

    const ip::Message answer = *std::exchange(initiateAnswer_, std::nullopt);
    const std::uint8_t status = answer.header.status;
    const ip::StatusMeaning meaning = ip::sessionInitiateStatus(status);
    if (answer.header.version != version_) {
        // Never a session in another version than the one asked for: a
        // version 1 server cannot keep a secure session, and a version it
        // does not name is no answer at all.
        const QString said = meaning.severity == ip::Severity::Error
                                 ? QStringLiteral(", %1 (status %2)")
                                       .arg(QString::fromStdString(meaning.text))
                                       .arg(status)
                                 : QString();
        fail(QStringLiteral("HART-IP server %1 answered the version %2 session request in "
                            "version %3%4; no session was opened")
                 .arg(where())
                 .arg(version_)
                 .arg(answer.header.version)
                 .arg(said));
    }
    if (answer.header.type == ip::MessageType::Error || answer.header.type == ip::MessageType::Nak)
        fail(QStringLiteral("HART-IP server refused the session: it answered with %1 (status %2)")
                 .arg(QLatin1String(typeName(answer.header.type)))
                 .arg(status));
    if (meaning.severity == ip::Severity::Error)
        fail(QStringLiteral("HART-IP server refused the session: %1 (status %2)")
                 .arg(QString::fromStdString(meaning.text))
                 .arg(status));

    if (address.secure) {
        // The answer came in the clear; from here on everything goes inside
        // TLS (or DTLS).
        if (address.transport == Transport::Udp)
            startDtls(std::move(*credentials));
        else
            startTls(std::move(*credentials));
        if (!encrypted_) {
            QString why;
            if (!socketFailure_.isEmpty())
                why = handshakeFailure(socketFailure_);
            else if (overDtls() && keyGiven_)
                // A DTLS server drops records it cannot decrypt without a
                // word, so a key that does not match ends in silence.
                why = QStringLiteral("the DTLS handshake did not finish within %1 s; the key is "
                                     "likely not the one the server holds for identity \"%2\"")
                          .arg(seconds(timing_.responseWaitMs), tlsIdentity_);
            else
                why = QStringLiteral("no %1 handshake within %2 s")
                          .arg(overDtls() ? QStringLiteral("DTLS") : QStringLiteral("TLS"),
                               seconds(timing_.responseWaitMs));
            fail(QStringLiteral("HART-IP server %1 did not open a secure session: %2")
                     .arg(where(), why));
        }
        if (overDtls()) {
            security_ = SessionSecurity{protocolName(dtls_->sessionProtocol()),
                                        dtls_->sessionCipher().name(), tlsIdentity_};
        } else {
            auto* ssl = static_cast<QSslSocket*>(socket_.get());
            security_ = SessionSecurity{protocolName(ssl->sessionProtocol()),
                                        ssl->sessionCipher().name(), tlsIdentity_};
        }
    }
    stream_.setVersion(version_);

    // The server says which inactivity close time holds; a warning means it
    // chose another than the one asked for.
    granted_ = timing_.inactivityCloseTime;
    if (const auto body = ip::decodeSessionInitiate(answer.body);
        body && body->inactivityCloseTime > 0)
        granted_ = body->inactivityCloseTime;
    state_ = State::Open;
    restartIdleTimer();
    if (security_) emit note(QStringLiteral("HART-IP secure session: %1").arg(securityText()));
    if (meaning.severity == ip::Severity::Warning)
        emit note(QStringLiteral("HART-IP session opened with %1; the server set the inactivity "
                                 "close time to %2 ms")
                      .arg(where())
                      .arg(granted_));
    else
        emit note(QStringLiteral("HART-IP session opened with %1 (inactivity close time %2 ms)")
                      .arg(where())
                      .arg(granted_));
}

void HartIpLink::startTls(Credentials credentials) {
    auto* ssl = static_cast<QSslSocket*>(socket_.get());
    QSslConfiguration conf = QSslConfiguration::defaultConfiguration();
    // TLS 1.2 only: the PSK suites HART-IP names are TLS 1.2 suites, and a
    // TLS 1.3 handshake with a server that takes 1.3 too (OpenSSL's default)
    // does not carry the pre-shared key from Qt and fails.
    conf.setProtocol(QSsl::TlsV1_2);
    // A pre-shared key authenticates both ends; there is no certificate.
    conf.setPeerVerifyMode(QSslSocket::VerifyNone);
    conf.setCiphers(pskCiphers());
    ssl->setSslConfiguration(conf);
    tlsIdentity_ = credentials.identity;
    const auto handshake = connect(ssl, &QSslSocket::preSharedKeyAuthenticationRequired, this,
                                   [&credentials](QSslPreSharedKeyAuthenticator* a) {
                                       a->setIdentity(identityBytes(credentials));
                                       QByteArray key = tlsKey(credentials);
                                       a->setPreSharedKey(key);
                                       key.fill('\0');
                                   });
    const auto done = connect(ssl, &QSslSocket::encrypted, this, [this] {
        encrypted_ = true;
        emit progressed();
    });
    emit note(QStringLiteral("HART-IP TLS handshake with %1 (identity %2)")
                  .arg(where(), credentials.identity));
    ssl->startClientEncryption();
    waitUntil([this] { return encrypted_ || !socketFailure_.isEmpty(); }, timing_.responseWaitMs);
    disconnect(handshake);
    disconnect(done);
    credentials.wipe();
}

void HartIpLink::startDtls(Credentials credentials) {
    auto* udp = static_cast<QUdpSocket*>(socket_.get());
    dtls_ = std::make_unique<QDtls>(QSslSocket::SslClientMode);
    QSslConfiguration conf = QSslConfiguration::defaultDtlsConfiguration();
    conf.setProtocol(QSsl::DtlsV1_2);
    conf.setPeerVerifyMode(QSslSocket::VerifyNone);
    conf.setCiphers(pskCiphers());
    dtls_->setDtlsConfiguration(conf);
    dtls_->setPeer(peer_, peerPort_);
    tlsIdentity_ = credentials.identity;
    keyGiven_ = false;
    connect(dtls_.get(), &QDtls::pskRequired, this,
            [this, &credentials](QSslPreSharedKeyAuthenticator* a) {
                keyGiven_ = true;
                a->setIdentity(identityBytes(credentials));
                QByteArray key = tlsKey(credentials);
                a->setPreSharedKey(key);
                key.fill('\0');
            });
    connect(dtls_.get(), &QDtls::handshakeTimeout, this, [this] {
        if (dtls_ && socket_) dtls_->handleTimeout(static_cast<QUdpSocket*>(socket_.get()));
    });
    emit note(QStringLiteral("HART-IP DTLS handshake with %1 (identity %2)")
                  .arg(where(), credentials.identity));
    if (!dtls_->doHandshake(udp)) socketFailure_ = dtls_->dtlsErrorString();
    waitUntil([this] { return encrypted_ || !socketFailure_.isEmpty(); }, timing_.responseWaitMs);
    // The handshake is over either way: no key is asked for again.
    QObject::disconnect(dtls_.get(), &QDtls::pskRequired, this, nullptr);
    credentials.wipe();
}

QString HartIpLink::handshakeFailure(const QString& error) const {
    for (const HandshakeReason& r : kHandshakeReasons) {
        if (!error.contains(QLatin1String(r.found), Qt::CaseInsensitive)) continue;
        QString meaning = QString::fromLatin1(r.meaning);
        if (meaning.contains(QLatin1String("%1"))) meaning = meaning.arg(tlsIdentity_);
        return meaning + QStringLiteral(" (%1)").arg(error);
    }
    return QStringLiteral("the TLS handshake failed (%1)").arg(error);
}

QString HartIpLink::securityText() const {
    if (!isSecure()) return {};
    return QStringLiteral("HART-IP v%1, %2, %3, identity %4")
        .arg(version_)
        .arg(security_->protocol, security_->cipher, security_->identity);
}

ip::Message HartIpLink::call(ip::MessageId id, std::vector<std::uint8_t> body, int waitMs,
                             const char* what) {
    if (state_ != State::Open) throw HartIpError("No HART-IP session is open");
    callAnswer_.reset();
    callSequence_ = send(id, std::move(body));
    waitUntil([this] { return callAnswer_ || state_ != State::Open; }, waitMs);
    callSequence_.reset();
    if (!callAnswer_)
        throw HartIpError(
            (state_ != State::Open
                 ? QStringLiteral("The HART-IP session with %1 was lost before the %2 was answered")
                       .arg(where(), QLatin1String(what))
                 : QStringLiteral("HART-IP server %1 did not answer the %2 within %3 s")
                       .arg(where(), QLatin1String(what), seconds(waitMs)))
                .toStdString());
    ip::Message m = *std::exchange(callAnswer_, std::nullopt);
    if (m.header.type == ip::MessageType::Error || m.header.type == ip::MessageType::Nak)
        throw HartIpError(
            QStringLiteral("HART-IP server %1 refused the %2: it answered with %3 "
                           "(status %4)")
                .arg(where(), QLatin1String(what), QLatin1String(typeName(m.header.type)))
                .arg(m.header.status)
                .toStdString());
    return m;
}

ip::DirectPduResponse HartIpLink::directPdu(const std::vector<ip::DirectCommand>& commands,
                                            int waitMs) {
    const ip::Message m =
        call(ip::MessageId::DirectPdu, ip::encodeDirectPdu(commands), waitMs, "direct PDU");
    if (m.header.status != 0 && m.header.status != hart::rc::kWarning)
        throw HartIpError(QStringLiteral("HART-IP server %1 refused the direct PDU (status %2)")
                              .arg(where())
                              .arg(m.header.status)
                              .toStdString());
    auto response = ip::decodeDirectPduResponse(m.body);
    if (!response)
        throw HartIpError(QStringLiteral("HART-IP server %1 answered the direct PDU with a "
                                         "malformed body")
                              .arg(where())
                              .toStdString());
    return *response;
}

ip::AuditLog HartIpLink::readAuditLog(std::uint8_t first, std::uint8_t count, int waitMs) {
    const ip::Message m = call(ip::MessageId::ReadAuditLog, ip::encodeAuditLogRequest(first, count),
                               waitMs, "audit log request");
    // Status 8: fewer records than asked for; the answer says which.
    if (m.header.status != 0 && m.header.status != hart::rc::kWarning)
        throw HartIpError(QStringLiteral("HART-IP server %1 refused to read its audit log "
                                         "(status %2)")
                              .arg(where())
                              .arg(m.header.status)
                              .toStdString());
    auto log = ip::decodeAuditLog(m.body);
    if (!log)
        throw HartIpError(QStringLiteral("HART-IP server %1 sent an audit log that is cut short")
                              .arg(where())
                              .toStdString());
    return *log;
}

void HartIpLink::close() {
    if (state_ == State::Opening) {
        // Called from inside open()'s wait: open() fails and cleans up.
        socketFailure_ = QStringLiteral("the open was cancelled");
        emit progressed();
        return;
    }
    idleTimer_->stop();
    keepAliveTimer_->stop();
    if (state_ == State::Open && socket_) {
        // Servers may keep a first session to themselves until it is closed,
        // so it is closed explicitly; a short bounded wait for the answer
        // lets the server see the close before the connection ends.
        state_ = State::Closing;
        closeAnswered_ = false;
        closeSequence_ = send(ip::MessageId::SessionClose);
        emit note(QStringLiteral("HART-IP session close to %1").arg(where()));
        socket_->flush();
        const QDeadlineTimer deadline(timing_.closeWaitMs);
        while (!closeAnswered_ &&
               (socket_->state() == QAbstractSocket::ConnectedState || overDtls()) &&
               !deadline.hasExpired())
            if (!socket_->waitForReadyRead(static_cast<int>(deadline.remainingTime()))) break;
        closeSequence_.reset();
        emit note(closeAnswered_
                      ? QStringLiteral("HART-IP session closed")
                      : QStringLiteral("HART-IP session close not answered; connection closed"));
    }
    dropSocket();
    state_ = State::Closed;
}

void HartIpLink::dropSocket() {
    if (!socket_) return;
    QObject::disconnect(socket_.get(), nullptr, this, nullptr);
    if (dtls_) {
        QObject::disconnect(dtls_.get(), nullptr, this, nullptr);
        if (dtls_->isConnectionEncrypted())
            dtls_->shutdown(static_cast<QUdpSocket*>(socket_.get()));
        dtls_.reset();
    }
    socket_->disconnectFromHost();
    socket_.reset();
}

bool HartIpLink::sendFrame(std::span<const std::uint8_t> frame) {
    if (state_ != State::Open) return false;
    const auto pdu = ip::withoutPreambles(frame);
    if (pdu.empty()) return false;
    if (!std::ranges::equal(pdu, awaitedPdu_)) {
        awaitedPdu_.assign(pdu.begin(), pdu.end());
        awaitedSequences_.clear();
    }
    awaitedSequences_.push_back(send(ip::MessageId::HartPdu, {pdu.begin(), pdu.end()}));
    return true;
}

void HartIpLink::forgetAwaited() {
    awaitedPdu_.clear();
    awaitedSequences_.clear();
}

QString HartIpLink::description() const {
    return QStringLiteral("HART-IP server %1").arg(address_.text());
}

QString HartIpLink::openingText() const {
    return QStringLiteral("Opening HART-IP session with %1 ...").arg(address_.text());
}

line::ReplyTiming HartIpLink::replyTiming(std::size_t) const {
    return {timing_.pduAnswerMs, timing_.pduAnswerMs};
}

bool HartIpLink::replyUnderWay() const {
    return state_ == State::Open && stream_.pending() > 0;
}

std::uint16_t HartIpLink::send(ip::MessageId id, std::vector<std::uint8_t> body) {
    const std::uint16_t sequence = nextSequence_++;
    const QByteArray data =
        bytesOf(ip::encode(ip::request(id, sequence, std::move(body), version_)));
    if (overDtls() || (address_.secure && address_.transport == Transport::Udp)) {
        auto* udp = static_cast<QUdpSocket*>(socket_.get());
        if (dtls_ && dtls_->isConnectionEncrypted())
            dtls_->writeDatagramEncrypted(udp, data);
        else
            udp->writeDatagram(data, peer_, peerPort_);
    } else {
        // A connected UDP socket sends each write as one datagram.
        socket_->write(data);
    }
    // Out now rather than at the next turn of the event loop, which a
    // sender's 200 ms pause would hold up.
    socket_->flush();
    emit messageSent(data);
    restartIdleTimer();
    return sequence;
}

void HartIpLink::onReadyRead() {
    if (auto* udp = qobject_cast<QUdpSocket*>(socket_.get())) {
        while (socket_ && udp->hasPendingDatagrams()) {
            QByteArray datagram(std::max<qint64>(udp->pendingDatagramSize(), 0), Qt::Uninitialized);
            QHostAddress from;
            quint16 fromPort = 0;
            const qint64 n = udp->readDatagram(datagram.data(), datagram.size(), &from, &fromPort);
            if (n < 0) break;
            datagram.resize(n);
            const bool fromServer =
                from.isEqual(peer_, QHostAddress::TolerantConversion) && fromPort == peerPort_;
            if (!dtls_) {
                // A bound socket hears anyone: only the server's datagrams count.
                if (peer_.isNull() || fromServer) takeDatagram(datagram);
                continue;
            }
            if (!fromServer) continue;
            if (!dtls_->isConnectionEncrypted()) {
                if (!dtls_->doHandshake(udp, datagram)) {
                    if (socketFailure_.isEmpty()) socketFailure_ = dtls_->dtlsErrorString();
                } else if (dtls_->isConnectionEncrypted()) {
                    encrypted_ = true;
                }
                continue;
            }
            const QByteArray plain = dtls_->decryptDatagram(udp, datagram);
            if (plain.isEmpty()) {
                if (dtls_->dtlsError() == QDtlsError::RemoteClosedConnectionError)
                    loseSession(QStringLiteral("the server closed the secure session"));
                continue;
            }
            takeDatagram(plain);
        }
    } else if (socket_) {
        const QByteArray data = socket_->readAll();
        const auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(data.constData()),
                                     static_cast<std::size_t>(data.size()));
        for (const ip::StreamItem& item : stream_.feed(bytes)) {
            if (!item.message) {
                dropMalformed(QString::fromStdString(item.malformed));
                continue;
            }
            emit messageReceived(bytesOf(ip::encode(*item.message)));
            handle(*item.message);
        }
        if (stream_.broken()) {
            const QString why = QStringLiteral("the server's message stream lost its framing: %1")
                                    .arg(QString::fromStdString(stream_.brokenReason()));
            if (state_ == State::Opening && socketFailure_.isEmpty()) socketFailure_ = why;
            loseSession(why);
        }
    }
    emit progressed();
}

void HartIpLink::takeDatagram(const QByteArray& datagram) {
    emit messageReceived(datagram);
    const auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(datagram.constData()),
                                 static_cast<std::size_t>(datagram.size()));
    // A datagram that is not exactly one message is dropped, as servers
    // drop ours.
    if (const auto message = ip::decode(bytes))
        handle(*message);
    else
        dropMalformed(QStringLiteral("a datagram that is not one whole message"));
}

void HartIpLink::onDisconnected() {
    if (state_ == State::Opening && socketFailure_.isEmpty())
        socketFailure_ = QStringLiteral("the server closed the connection");
    loseSession(QStringLiteral("the server closed the connection"));
    emit progressed();
}

void HartIpLink::onSocketError() {
    if (!socket_) return;
    const bool closedByServer = socket_->error() == QAbstractSocket::RemoteHostClosedError;
    const QString why = closedByServer ? QStringLiteral("the server closed the connection")
                                       : socket_->errorString();
    if (state_ == State::Opening && socketFailure_.isEmpty()) socketFailure_ = why;
    loseSession(why);
    emit progressed();
}

void HartIpLink::dropMalformed(const QString& why) {
    ++malformed_;
    emit note(QStringLiteral("HART-IP message from %1 dropped as malformed: %2").arg(where(), why));
}

void HartIpLink::handle(const ip::Message& m) {
    // The initiate's answer is judged by open(), whatever its version; any
    // other message of another version than the session's is not read.
    const bool initiateAnswer = state_ == State::Opening &&
                                m.header.id == ip::MessageId::SessionInitiate &&
                                initiateSequence_ == m.header.sequence && m.header.version != 0;
    if (!initiateAnswer) {
        if (const auto why = ip::malformation(m, version_)) {
            dropMalformed(QString::fromStdString(*why));
            return;
        }
    }
    switch (m.header.type) {
    case ip::MessageType::Response:
        handleResponse(m);
        return;
    case ip::MessageType::Publish:
        // Burst frames, as a modem passes them on.
        if (state_ == State::Open && m.header.id == ip::MessageId::HartPdu) deliver(m.body);
        return;
    case ip::MessageType::Error:
    case ip::MessageType::Nak:
        if (state_ == State::Opening && initiateSequence_ == m.header.sequence) {
            initiateAnswer_ = m;
            return;
        }
        if (callSequence_ == m.header.sequence) {
            callAnswer_ = m;
            return;
        }
        loseSession(QStringLiteral("the server answered with %1 (message id %2, status %3)")
                        .arg(QLatin1String(typeName(m.header.type)))
                        .arg(static_cast<int>(m.header.id))
                        .arg(m.header.status));
        return;
    case ip::MessageType::Request:
        return; // a client serves no requests
    }
}

void HartIpLink::handleResponse(const ip::Message& m) {
    const std::uint16_t sequence = m.header.sequence;
    switch (m.header.id) {
    case ip::MessageId::SessionInitiate:
        if (state_ == State::Opening && initiateSequence_ == sequence) initiateAnswer_ = m;
        return;
    case ip::MessageId::SessionClose:
        if (closeSequence_ == sequence) closeAnswered_ = true;
        return;
    case ip::MessageId::KeepAlive:
        if (awaitedKeepAlive_ == sequence) {
            awaitedKeepAlive_.reset();
            keepAlivesMissed_ = 0;
            keepAliveTimer_->stop();
        }
        return;
    case ip::MessageId::DirectPdu:
    case ip::MessageId::ReadAuditLog:
        if (callSequence_ == sequence) callAnswer_ = m;
        return;
    case ip::MessageId::HartPdu:
        if (state_ != State::Open) return;
        if (std::ranges::find(awaitedSequences_, sequence) == awaitedSequences_.end()) {
            // An answer to a request that is no longer awaited (a later one
            // replaced it) or a second answer to one: over UDP both happen.
            emit note(
                QStringLiteral("HART-IP response %1 dropped: late or duplicate").arg(sequence));
            return;
        }
        forgetAwaited();
        if (m.body.empty())
            emit note(QStringLiteral("HART-IP response %1 carries no HART PDU (status %2)")
                          .arg(sequence)
                          .arg(m.header.status));
        else
            deliver(m.body);
        return;
    }
}

void HartIpLink::deliver(const std::vector<std::uint8_t>& pdu) {
    QByteArray chunk(kDeliveredPreambles, static_cast<char>(hart::kPreamble));
    chunk.append(bytesOf(pdu));
    emit received(chunk);
}

void HartIpLink::loseSession(const QString& why) {
    if (state_ != State::Open) return;
    state_ = State::Lost;
    idleTimer_->stop();
    keepAliveTimer_->stop();
    forgetAwaited();
    awaitedKeepAlive_.reset();
    emit note(QStringLiteral("HART-IP session with %1 lost: %2").arg(where(), why));
    // Reported from the event loop: the handler closes the link, which must
    // not happen inside the socket's own signal.
    QMetaObject::invokeMethod(
        this,
        [this, why, generation = generation_] {
            if (generation == generation_ && state_ == State::Lost) emit lost(why);
        },
        Qt::QueuedConnection);
}

void HartIpLink::restartIdleTimer() {
    if (state_ == State::Open) idleTimer_->start(keepAliveInterval());
}

int HartIpLink::keepAliveInterval() const {
    return static_cast<int>(std::max<std::uint32_t>(granted_ / 3, 1));
}

void HartIpLink::sendKeepAlive() {
    // While one is awaited its answer timer decides what happens next.
    if (state_ != State::Open || awaitedKeepAlive_) return;
    awaitedKeepAlive_ = send(ip::MessageId::KeepAlive);
    emit note(QStringLiteral("HART-IP keep-alive %1").arg(*awaitedKeepAlive_));
    keepAliveTimer_->start(std::min(timing_.keepAliveAnswerMs, keepAliveInterval()));
}

void HartIpLink::onKeepAliveUnanswered() {
    if (state_ != State::Open || !awaitedKeepAlive_) return;
    if (++keepAlivesMissed_ >= kKeepAlivesMissedForLoss) {
        loseSession(
            QStringLiteral("%1 keep-alives in a row were not answered").arg(keepAlivesMissed_));
        return;
    }
    emit note(QStringLiteral("HART-IP keep-alive %1 not answered").arg(*awaitedKeepAlive_));
    awaitedKeepAlive_.reset();
    sendKeepAlive();
}

bool HartIpLink::waitUntil(const std::function<bool()>& done, int ms) {
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    bool woken = false;
    auto wake = [&] {
        woken = true;
        loop.quit();
    };
    connect(&deadline, &QTimer::timeout, &loop, wake);
    connect(this, &HartIpLink::progressed, &loop, wake);
    deadline.start(ms);
    while (!done() && deadline.isActive()) {
        woken = false;
        // Repaints and sockets run; clicks and keys wait until the open is
        // decided.
        loop.exec(QEventLoop::ExcludeUserInputEvents);
        if (!woken) break; // the application is quitting
    }
    return done();
}

} // namespace hartip
