#include "hartip/hartip_link.h"

#include "hart/protocol.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>

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
    stream_ = {};
    initiateAnswer_.reset();
    forgetAwaited();
    awaitedKeepAlive_.reset();
    keepAlivesMissed_ = 0;
    socketFailure_.clear();
    ++generation_;
    state_ = State::Opening;

    if (address.transport == Transport::Udp)
        socket_ = std::make_unique<QUdpSocket>();
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

    socket_->connectToHost(address.host, address.port);
    const bool connected = waitUntil(
        [this] {
            return socket_->state() == QAbstractSocket::ConnectedState || !socketFailure_.isEmpty();
        },
        timing_.connectWaitMs);
    if (!socketFailure_.isEmpty())
        fail(QStringLiteral("Cannot reach HART-IP server %1: %2").arg(where(), socketFailure_));
    if (!connected)
        fail(QStringLiteral("Cannot reach HART-IP server %1: no connection within %2 s")
                 .arg(where(), seconds(timing_.connectWaitMs)));

    initiateSequence_ =
        send(ip::MessageId::SessionInitiate,
             ip::encodeSessionInitiate({ip::kPrimaryHost, timing_.inactivityCloseTime}));
    emit note(QStringLiteral("HART-IP session initiate to %1 (primary host, inactivity close "
                             "time %2 ms)")
                  .arg(where())
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
    if (answer.header.type == ip::MessageType::Error || answer.header.type == ip::MessageType::Nak)
        fail(QStringLiteral("HART-IP server refused the session: it answered with %1 (status %2)")
                 .arg(QLatin1String(typeName(answer.header.type)))
                 .arg(status));
    const ip::StatusMeaning meaning = ip::sessionInitiateStatus(status);
    if (meaning.severity == ip::Severity::Error)
        fail(QStringLiteral("HART-IP server refused the session: %1 (status %2)")
                 .arg(QString::fromStdString(meaning.text))
                 .arg(status));

    // The server says which inactivity close time holds; a warning means it
    // chose another than the one asked for.
    granted_ = timing_.inactivityCloseTime;
    if (const auto body = ip::decodeSessionInitiate(answer.body);
        body && body->inactivityCloseTime > 0)
        granted_ = body->inactivityCloseTime;
    state_ = State::Open;
    restartIdleTimer();
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
        while (!closeAnswered_ && socket_->state() == QAbstractSocket::ConnectedState &&
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
    const QByteArray data = bytesOf(ip::encode(ip::request(id, sequence, std::move(body))));
    // A connected UDP socket sends each write as one datagram.
    socket_->write(data);
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
            const qint64 n = udp->readDatagram(datagram.data(), datagram.size());
            if (n < 0) break;
            datagram.resize(n);
            emit messageReceived(datagram);
            const auto bytes =
                std::span(reinterpret_cast<const std::uint8_t*>(datagram.constData()),
                          static_cast<std::size_t>(datagram.size()));
            // A datagram that is not exactly one message is dropped, as
            // servers drop ours.
            if (const auto message = ip::decode(bytes)) handle(*message);
        }
    } else if (socket_) {
        const QByteArray data = socket_->readAll();
        const auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(data.constData()),
                                     static_cast<std::size_t>(data.size()));
        for (const ip::Message& m : stream_.feed(bytes)) {
            emit messageReceived(bytesOf(ip::encode(m)));
            handle(m);
        }
        if (stream_.broken())
            loseSession(QStringLiteral("the server sent a message with a byte count below 8"));
    }
    emit progressed();
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

void HartIpLink::handle(const ip::Message& m) {
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
