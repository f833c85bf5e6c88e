#pragma once
// The HART-IP link: a session with a HART-IP server over TCP or UDP, in
// place of a modem. Each request frame goes out as one HART PDU request (the
// frame from its delimiter on); the PDU of the response with the same
// sequence number comes back through received() with five preambles in
// front, as a modem would have delivered it. While idle for a third of the
// inactivity close time the link sends a keep-alive; two in a row left
// unanswered, a closed or reset connection, a framing the stream cannot
// recover from, or an error or NAK message from the server lose the session
// (lost()).
//
// A secure address (hartips://) opens a version 2 session: the session
// initiate goes in the clear with version 2 and its answer is read, then
// TLS 1.2 (DTLS 1.2 over UDP) with a pre-shared key starts on the same
// connection and every later message goes inside it. Nothing falls back to version 1: an
// answer in another version, a refusal or a failed handshake fails the open
// before any HART PDU is sent. A received message of another version than
// the session's, or a HART PDU whose byte count disagrees with its frame, is
// dropped unread (noted, counted); over TCP the stream goes on where the
// frame ends, or the session is lost when no header follows there.
//
// Everything runs on the thread the link lives on (the main thread): the
// sockets report through its event loop, so a reply is always handled after
// the send that asked for it has returned.

#include "hart/hartip.h"
#include "hartip/address.h"
#include "hartip/credentials.h"
#include "link/link.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class QAbstractSocket;
class QDtls;
class QTimer;

namespace hartip {

struct Timing {
    int connectWaitMs = 3000;  // for the TCP connection (or the UDP host look-up)
    int responseWaitMs = 3000; // for the session-initiate response
    int closeWaitMs = 1000;    // for the session-close response
    // Asked of the server; the server may grant another (a warning, accepted).
    std::uint32_t inactivityCloseTime = hart::ip::kDefaultInactivityCloseTime;
    // A keep-alive is answered within this time or a third of the
    // inactivity close time, whichever is shorter.
    int keepAliveAnswerMs = 3000;
    // The longest a server takes to answer a HART PDU: a gateway relays the
    // request to its loop and the device's reply back, which at 1200 baud
    // and with the gateway's own retries takes seconds. A master that times
    // its exchanges (the network scan) retries only after this.
    int pduAnswerMs = 3000;
};

// A secure session as it was agreed: "TLS 1.2", the cipher suite, the identity.
struct SessionSecurity {
    QString protocol;
    QString cipher;
    QString identity;
};

class HartIpLink final : public line::Link {
    Q_OBJECT
public:
    // Where a secure open gets its identity and key: asked once per open,
    // nothing when the user gave none (the open fails then). The link wipes
    // its copy of the key once the handshake is over.
    using CredentialsSource = std::function<std::optional<Credentials>(const Address&)>;

    explicit HartIpLink(QObject* parent = nullptr);
    ~HartIpLink() override; // closes the session first

    void setTiming(const Timing& timing) { timing_ = timing; }
    const Timing& timing() const { return timing_; }

    // The server the next open() opens.
    void setAddress(const Address& address) { address_ = address; }
    // Connects and opens a session as a primary host. It waits in a local
    // event loop that lets the window repaint but leaves its input queued,
    // so the window cannot freeze, nor be used, while the server is asked.
    // HartIpError with the message for the user when the session does not
    // open ("HART-IP server refused the session: too many sessions ...").
    void open() override;
    void open(const Address& address) {
        setAddress(address);
        open();
    }
    // Session close (while the session is there), then the socket closes.
    // Safe to call at any time, also twice.
    void close() override;

    bool isOpen() const override { return state_ == State::Open; }
    const Address& address() const { return address_; }
    // The inactivity close time the server granted (ms).
    std::uint32_t inactivityCloseTime() const { return granted_; }

    void setCredentialsSource(CredentialsSource source) { credentials_ = std::move(source); }
    // The open session is a version 2 one, and how it is protected.
    bool isSecure() const { return isOpen() && security_.has_value(); }
    std::optional<SessionSecurity> security() const { return security_; }
    // "HART-IP v2, TLS 1.2, PSK-AES128-GCM-SHA256, identity HART-IPClient"
    // while a secure session is open; empty otherwise.
    QString securityText() const;
    // Received messages dropped as malformed since the open.
    int malformedCount() const { return malformed_; }

    // Several commands to the server's own device in one request (message
    // 4), waiting up to `waitMs` for the answer as open() waits. HartIpError
    // when no session is open, the server refuses or does not answer.
    hart::ip::DirectPduResponse directPdu(const std::vector<hart::ip::DirectCommand>& commands,
                                          int waitMs = 3000);
    // `count` records of the server's audit log from record `first` (message 5).
    hart::ip::AuditLog readAuditLog(std::uint8_t first = 0, std::uint8_t count = 16,
                                    int waitMs = 3000);

    // ---- line::Link
    // A request sent again unchanged (a master's retry) still takes the
    // answer to an earlier copy: a gateway that answers late answers the
    // first copy first.
    bool sendFrame(std::span<const std::uint8_t> frame) override;
    QString name() const override { return address_.text(); }
    QString description() const override;
    QString openingText() const override;
    // The server's answer time (Timing::pduAnswerMs), whatever the length.
    line::ReplyTiming replyTiming(std::size_t frameLength) const override;
    // Part of a message is in over TCP and the rest still on its way.
    bool replyUnderWay() const override;

signals:
    // received(): a reply PDU (or a burst PDU the server publishes) with five
    // preambles in front. lost(): the session is gone, once. note(): session
    // events for the traffic log (opened, keep-alive, closed, a response
    // dropped).
    //
    // Every HART-IP message as it goes out or comes in, whole.
    void messageSent(const QByteArray& message);
    void messageReceived(const QByteArray& message);

    // Internal: something arrived or changed while open() waits.
    void progressed();

private:
    enum class State { Closed, Opening, Open, Closing, Lost };

    std::uint16_t send(hart::ip::MessageId id, std::vector<std::uint8_t> body = {});
    void startTls(Credentials credentials);
    void startDtls(Credentials credentials);
    bool overDtls() const { return dtls_ != nullptr; }
    void takeDatagram(const QByteArray& datagram);
    QString handshakeFailure(const QString& error) const;
    hart::ip::Message call(hart::ip::MessageId id, std::vector<std::uint8_t> body, int waitMs,
                           const char* what);
    void onReadyRead();
    void onDisconnected();
    void onSocketError();
    void handle(const hart::ip::Message& message);
    void dropMalformed(const QString& why);
    void handleResponse(const hart::ip::Message& message);
    void deliver(const std::vector<std::uint8_t>& pdu);
    void loseSession(const QString& why);
    void sendKeepAlive();
    void onKeepAliveUnanswered();
    void restartIdleTimer();
    int keepAliveInterval() const; // a third of the granted inactivity close time
    bool waitUntil(const std::function<bool()>& done, int ms);
    void dropSocket();
    void forgetAwaited();
    QString where() const { return address_.text(); }

    Timing timing_;
    Address address_;
    State state_ = State::Closed;
    std::unique_ptr<QAbstractSocket> socket_;
    hart::ip::StreamReassembler stream_;
    std::uint8_t version_ = hart::ip::kVersion; // of the session being opened or open
    CredentialsSource credentials_;
    std::optional<SessionSecurity> security_;
    // hartips+udp: the socket stays unconnected and DTLS (or, before the
    // handshake, the plain socket) writes to the server's address.
    std::unique_ptr<QDtls> dtls_;
    QHostAddress peer_;
    std::uint16_t peerPort_ = 0;
    QString tlsIdentity_;    // the identity of the handshake under way
    bool encrypted_ = false; // the handshake has finished
    bool keyGiven_ = false;  // the DTLS handshake got as far as asking for the key
    int malformed_ = 0;
    // A request of open()'s kind that waits for its answer: direct PDU, audit log.
    std::optional<std::uint16_t> callSequence_;
    std::optional<hart::ip::Message> callAnswer_;
    std::uint16_t nextSequence_ = 1;
    std::uint32_t granted_ = 0;

    // Requests waiting for their response, by sequence number.
    std::optional<std::uint16_t> initiateSequence_;
    std::optional<hart::ip::Message> initiateAnswer_;
    std::optional<std::uint16_t> closeSequence_;
    bool closeAnswered_ = false;
    // The latest request's PDU and the sequence numbers it went out under:
    // its first answer is delivered, later ones and answers to other
    // requests are dropped.
    std::vector<std::uint8_t> awaitedPdu_;
    std::vector<std::uint16_t> awaitedSequences_;
    std::optional<std::uint16_t> awaitedKeepAlive_;
    int keepAlivesMissed_ = 0;
    QString socketFailure_;   // why the socket failed while open() waited
    unsigned generation_ = 0; // counts opens, so a loss is never reported to a later session

    QTimer* idleTimer_;      // a keep-alive is due
    QTimer* keepAliveTimer_; // the keep-alive's answer is overdue
};

} // namespace hartip
