#pragma once
// A HART-IP server on 127.0.0.1 in front of simulated devices, over TCP and
// UDP on one port number: sessions (initiate, close, inactivity close time),
// keep-alives, HART PDUs answered by whatever the answerer says the devices
// reply, direct PDUs to the device at polling address 0, and the audit log
// of past sessions. Tests make it misbehave on purpose: refuse sessions,
// choose its own inactivity time, ignore keep-alives, end every session, or
// go away.
//
// With security set it serves version 2: the session initiate is answered
// in the clear, then TLS 1.2 (TCP) or DTLS 1.2 (UDP) with a pre-shared key
// starts on the same connection or between the same two ports (OpenSSL,
// one identity and key), and every later message goes inside it.
//
// Threads: one server thread owns every socket and session; the test hooks
// only set what it does next and wake it.

#include "hart/hartip.h"

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace sim {

struct HartIpSecurity {
    std::string identity = "HART-IPClient";
    std::vector<std::uint8_t> key; // the TLS key bytes for that identity
    // false: the server offers no PSK cipher suite at all, as a server set
    // up for certificates only would.
    bool pskSuites = true;
    // false: a version 2 initiate is answered "security not initialized".
    bool initialized = true;
    // A version 1 initiate gets no answer, as a server that has been given
    // its keys gives none.
    bool secureOnly = true;
};

struct HartIpServerOptions {
    std::uint16_t port = 0; // 0: a free port, the same number for TCP and UDP
    bool tcp = true;
    bool udp = true;
    std::size_t maxSessions = 2;
    // Version 2 over TLS; without it the server speaks version 1 only and
    // answers a version 2 initiate with "version not supported".
    std::optional<HartIpSecurity> security;
};

class HartIpServer {
public:
    using Bytes = std::vector<std::uint8_t>;
    // The devices' replies (delimiter through checksum) to one HART PDU; none
    // when they stay silent. Runs on the server thread.
    using Answerer = std::function<std::vector<Bytes>(std::span<const std::uint8_t> pdu)>;

    // Listens at once; std::runtime_error when the port cannot be had or
    // TLS cannot be set up.
    explicit HartIpServer(Answerer answerer, HartIpServerOptions options = {});
    ~HartIpServer();
    HartIpServer(const HartIpServer&) = delete;
    HartIpServer& operator=(const HartIpServer&) = delete;

    std::uint16_t port() const { return port_; }

    // ---- Test hooks.
    // Every session initiate is answered with this status (15: too many
    // sessions) and no session is made; nothing: sessions are made again.
    void refuseSessions(std::optional<std::uint8_t> status);
    // The server's own inactivity close time, granted instead of the one
    // asked for (status 8, "set to nearest possible value").
    void setInactivityCloseTime(std::optional<std::uint32_t> ms);
    // The next HART PDU response goes out with a byte count this many bytes
    // larger (or, negative, smaller) than the message really is.
    void skewNextPduCount(int bytes);
    // Keep-alives get no answer and do not count as activity.
    void ignoreKeepAlives(bool ignore);
    // The server ends every session: a TCP connection is closed, a UDP
    // client is forgotten (its next message gets a NAK).
    void closeSessions();
    // Every socket closes: the server is gone. With `reset`, TCP
    // connections end with a reset instead of an orderly close, as when the
    // server's machine drops them.
    void goAway(bool reset = false);

    struct Stats {
        int sessionsOpened = 0;
        int sessionsRefused = 0;
        int closedByClient = 0; // session-close requests answered
        int closedByServer = 0; // ended by the inactivity time or closeSessions()
        int keepAlives = 0;     // answered
        int keepAlivesIgnored = 0;
        int pdus = 0; // HART PDU requests within a session
        int naks = 0;
        int tcpConnections = 0; // accepted so far
        int openSessions = 0;
        std::uint32_t lastInactivityCloseTime = 0; // as granted
        int secureSessions = 0;                    // TLS handshakes completed
        int handshakeFailures = 0;                 // TLS handshakes that failed
        std::string lastHandshakeError;
        std::string lastCipher; // of the latest secure session
        int clearPdus = 0;      // HART PDU, direct PDU or audit-log requests outside TLS
        int malformed = 0;      // requests dropped as malformed
        int directPdus = 0;
        int auditLogReads = 0;
    };
    Stats stats() const;
    // Waits up to `timeout` for `pred(stats())`; true when it held.
    bool waitStats(const std::function<bool(const Stats&)>& pred,
                   std::chrono::milliseconds timeout = std::chrono::seconds(15)) const;
    // Every message the server received in the clear (outside TLS), whole.
    std::vector<std::vector<std::uint8_t>> clearMessages() const;
    // The audit log as a client reads it.
    std::vector<hart::ip::AuditRecord> auditRecords() const;

private:
    struct Peer; // a TCP connection or a UDP client address, with its session
    using Clock = std::chrono::steady_clock;

    void run();
    void accept();
    void readTcp(Peer& peer);
    void readTls(Peer& peer);
    void startTls(Peer& peer);
    void startDtls(Peer& peer);
    void readDtls(Peer& peer, std::span<const std::uint8_t> datagram);
    void sendDtlsOutput(Peer& peer);
    void take(Peer& peer, std::vector<hart::ip::StreamItem> items);
    void readUdp();
    void handle(Peer& peer, const hart::ip::Message& message);
    void reply(Peer& peer, const hart::ip::Message& message);
    void endSession(Peer& peer, bool countAsServerClose);
    void expireSessions(Clock::time_point now);
    void dropClosedPeers();
    void closeEverything(bool reset = false);
    void directPdu(Peer& peer, const hart::ip::Message& m);
    hart::ip::AuditLog auditLog(std::span<const std::uint8_t> request) const;
    void audit(Peer& peer, const std::function<void(hart::ip::AuditRecord&)>& f);
    void wake();
    template <class F> void count(F&& f);

    Answerer answerer_;
    HartIpServerOptions options_;
    std::uint16_t port_ = 0;
    int listen_ = -1;
    int udp_ = -1;
    int wake_ = -1;
    std::vector<std::unique_ptr<Peer>> peers_; // server thread only
    struct TlsContext;
    std::unique_ptr<TlsContext> tls_;
    std::uint64_t powerUpTime_ = 0;
    std::optional<std::array<std::uint8_t, 5>> deviceAddress_; // for direct PDUs

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    Stats stats_;
    std::vector<std::vector<std::uint8_t>> clearMessages_;
    std::vector<hart::ip::AuditRecord> audit_;
    std::optional<std::uint8_t> refuseStatus_;
    std::optional<std::uint32_t> inactivityOverride_;
    bool ignoreKeepAlives_ = false;
    int pduCountSkew_ = 0;
    bool closeRequested_ = false;
    bool goAwayRequested_ = false;
    bool resetRequested_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

// An answerer handing each PDU to `devices` (a SimTransmitter, a SimNetwork),
// which must outlive the server.
template <class Devices> HartIpServer::Answerer answering(Devices& devices) {
    return [&devices](std::span<const std::uint8_t> pdu) { return devices.answerPdu(pdu); };
}

} // namespace sim
