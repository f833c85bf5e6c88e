#include "sim/hartip_server.h"

#include "hart/frame.h"
#include "hart/protocol.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>
#include <utility>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sim {

namespace ip = hart::ip;

struct HartIpServer::Peer {
    bool tcp = false;
    int fd = -1;           // TCP: the connection; UDP: none (the server's socket)
    sockaddr_in address{}; // the client
    ip::StreamReassembler stream{std::nullopt}; // in the clear: any version until the initiate
    ip::StreamReassembler secureStream{ip::kSecureVersion};
    SSL* ssl = nullptr;       // TCP, version 2: TLS on the connection
    bool handshaking = false; // the TLS handshake is under way
    bool halfClosed = false;  // TCP: our FIN is out, waiting for the client's
    bool session = false;
    std::uint8_t version = ip::kVersion; // of the session
    std::uint32_t inactivityMs = 0;
    Clock::time_point lastActivity{};
    std::optional<std::size_t> auditIndex; // this session's audit record

    ~Peer() {
        if (ssl) SSL_free(ssl);
    }

    // TCP: sends our FIN, once; the socket closes when the client has closed too.
    void halfClose() {
        if (!tcp || fd < 0 || halfClosed) return;
        ::shutdown(fd, SHUT_WR);
        halfClosed = true;
    }
};

namespace {

[[noreturn]] void fail(const char* what) {
    throw std::runtime_error(std::string("HART-IP server: ") + what + ": " + std::strerror(errno));
}

sockaddr_in loopback(std::uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

bool bindTo(int fd, std::uint16_t port) {
    const sockaddr_in a = loopback(port);
    return ::bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
}

std::uint16_t boundPort(int fd) {
    sockaddr_in a{};
    socklen_t len = sizeof a;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) fail("getsockname");
    return ntohs(a.sin_port);
}

bool sameClient(const sockaddr_in& a, const sockaddr_in& b) {
    return a.sin_addr.s_addr == b.sin_addr.s_addr && a.sin_port == b.sin_port;
}

// Writes a whole message on a TCP connection; a client that has gone is
// noticed by the next read.
void sendAll(int fd, const std::vector<std::uint8_t>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n >= 0) {
            done += static_cast<std::size_t>(n);
        } else if (errno == EAGAIN) {
            pollfd p{fd, POLLOUT, 0};
            if (::poll(&p, 1, 1000) <= 0) return;
        } else if (errno != EINTR) {
            return;
        }
    }
}

void closeFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

std::uint64_t secondsNow() {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::seconds>(
                                          std::chrono::system_clock::now().time_since_epoch())
                                          .count());
}

constexpr std::uint64_t kStillConnected = ~std::uint64_t{0};

// The PSK suites a HART-IP server offers, and one without any PSK for a
// server that was set up for certificates only.
constexpr const char* kPskSuites = "PSK-AES128-GCM-SHA256:PSK-AES128-CBC-SHA256:PSK-AES128-CCM";
constexpr const char* kNoPskSuites = "ECDHE-ECDSA-AES128-GCM-SHA256";

// HART commands that change a device: a session that sends one has made writes.
constexpr std::array<std::uint8_t, 22> kWriteCommands{6,  17, 18, 19, 22, 34, 35, 36, 37, 38, 40,
                                                      41, 42, 43, 44, 45, 46, 47, 49, 53, 59, 79};

bool writes(std::span<const std::uint8_t> pdu) {
    const auto length = ip::hartFrameLength(pdu);
    if (!length || pdu.empty()) return false;
    const std::size_t at =
        1 + ((pdu[0] & hart::kLongAddressBit) ? 5 : 1) + ((pdu[0] & hart::kExpansionMask) >> 5);
    return at < pdu.size() && std::ranges::find(kWriteCommands, pdu[at]) != kWriteCommands.end();
}

std::string tlsError() {
    const unsigned long e = ERR_get_error();
    ERR_clear_error();
    if (e == 0) return "the connection ended during the handshake";
    char text[256];
    ERR_error_string_n(e, text, sizeof text);
    return text;
}

} // namespace

struct HartIpServer::TlsContext {
    SSL_CTX* ctx = nullptr;     // TLS over TCP
    SSL_CTX* dtlsCtx = nullptr; // DTLS over UDP
    HartIpSecurity security;
    ~TlsContext() {
        if (ctx) SSL_CTX_free(ctx);
        if (dtlsCtx) SSL_CTX_free(dtlsCtx);
    }

    // Both contexts alike: the PSK suites, this server's key callback.
    void setUp(SSL_CTX* c, int lowest, int highest) {
        if (!c) throw std::runtime_error("HART-IP server: TLS: " + tlsError());
        SSL_CTX_set_min_proto_version(c, lowest);
        SSL_CTX_set_max_proto_version(c, highest);
        SSL_CTX_set_options(c, SSL_OP_NO_TICKET);
        if (SSL_CTX_set_cipher_list(c, security.pskSuites ? kPskSuites : kNoPskSuites) != 1)
            throw std::runtime_error("HART-IP server: TLS cipher suites: " + tlsError());
        SSL_CTX_set_app_data(c, this);
        SSL_CTX_set_psk_server_callback(c, &TlsContext::pskKey);
    }

    // OpenSSL asks for the key of the identity the client names; an
    // unknown identity gets none, and the handshake fails with its alert.
    static unsigned int pskKey(SSL* ssl, const char* identity, unsigned char* psk,
                               unsigned int maxLength) {
        const auto* self =
            static_cast<const TlsContext*>(SSL_CTX_get_app_data(SSL_get_SSL_CTX(ssl)));
        if (!self || !identity || self->security.identity != identity ||
            self->security.key.size() > maxLength)
            return 0;
        std::copy(self->security.key.begin(), self->security.key.end(), psk);
        return static_cast<unsigned int>(self->security.key.size());
    }
};

HartIpServer::HartIpServer(Answerer answerer, HartIpServerOptions options)
    : answerer_(std::move(answerer)), options_(options) {
    wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake_ < 0) fail("eventfd");
    powerUpTime_ = secondsNow();
    if (options_.security) {
        tls_ = std::make_unique<TlsContext>();
        tls_->security = *options_.security;
        // The suites HART-IP names are TLS 1.2 suites; like OpenSSL's own
        // default the server would also take TLS 1.3, so a client that
        // offers it must still end up in 1.2 with its pre-shared key.
        tls_->ctx = SSL_CTX_new(TLS_server_method());
        tls_->setUp(tls_->ctx, TLS1_2_VERSION, TLS1_3_VERSION);
        tls_->dtlsCtx = SSL_CTX_new(DTLS_server_method());
        tls_->setUp(tls_->dtlsCtx, DTLS1_2_VERSION, DTLS1_2_VERSION);
    }
    // TCP and UDP on one number: take a free TCP port, then the same number
    // for UDP; another program may hold that UDP port, so try again.
    for (int attempt = 0;; ++attempt) {
        std::uint16_t port = options_.port;
        if (options_.tcp) {
            listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            if (listen_ < 0) fail("socket");
            const int on = 1;
            ::setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
            if (!bindTo(listen_, port)) fail("bind (TCP)");
            port = boundPort(listen_);
        }
        if (options_.udp) {
            udp_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            if (udp_ < 0) fail("socket");
            if (!bindTo(udp_, port)) {
                if (options_.port != 0 || attempt == 20) fail("bind (UDP)");
                closeFd(listen_);
                closeFd(udp_);
                continue;
            }
            port = boundPort(udp_);
        }
        port_ = port;
        break;
    }
    if (listen_ >= 0 && ::listen(listen_, 8) != 0) fail("listen");
    thread_ = std::thread([this] { run(); });
}

HartIpServer::~HartIpServer() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake();
    thread_.join();
    closeEverything();
    closeFd(wake_);
}

void HartIpServer::wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto n = ::write(wake_, &one, sizeof one);
}

template <class F> void HartIpServer::count(F&& f) {
    {
        std::lock_guard lock(mutex_);
        f(stats_);
    }
    changed_.notify_all();
}

void HartIpServer::refuseSessions(std::optional<std::uint8_t> status) {
    std::lock_guard lock(mutex_);
    refuseStatus_ = status;
}

void HartIpServer::setInactivityCloseTime(std::optional<std::uint32_t> ms) {
    std::lock_guard lock(mutex_);
    inactivityOverride_ = ms;
}

void HartIpServer::skewNextPduCount(int bytes) {
    std::lock_guard lock(mutex_);
    pduCountSkew_ = bytes;
}

void HartIpServer::ignoreKeepAlives(bool ignore) {
    std::lock_guard lock(mutex_);
    ignoreKeepAlives_ = ignore;
}

void HartIpServer::closeSessions() {
    {
        std::lock_guard lock(mutex_);
        closeRequested_ = true;
    }
    wake();
}

void HartIpServer::goAway(bool reset) {
    {
        std::lock_guard lock(mutex_);
        goAwayRequested_ = true;
        resetRequested_ = reset;
    }
    wake();
}

HartIpServer::Stats HartIpServer::stats() const {
    std::lock_guard lock(mutex_);
    return stats_;
}

bool HartIpServer::waitStats(const std::function<bool(const Stats&)>& pred,
                             std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return pred(stats_); });
}

std::vector<std::vector<std::uint8_t>> HartIpServer::clearMessages() const {
    std::lock_guard lock(mutex_);
    return clearMessages_;
}

std::vector<ip::AuditRecord> HartIpServer::auditRecords() const {
    std::lock_guard lock(mutex_);
    return audit_;
}

void HartIpServer::audit(Peer& peer, const std::function<void(ip::AuditRecord&)>& f) {
    {
        std::lock_guard lock(mutex_);
        if (!peer.auditIndex) {
            ip::AuditRecord r;
            std::memcpy(r.clientIpv4.data(), &peer.address.sin_addr.s_addr, 4);
            r.clientPort = ntohs(peer.address.sin_port);
            r.serverPort = port_;
            r.connectTime = secondsNow();
            r.disconnectTime = kStillConnected;
            peer.auditIndex = audit_.size();
            audit_.push_back(r);
        }
        f(audit_[*peer.auditIndex]);
    }
    changed_.notify_all();
}

void HartIpServer::run() {
    std::array<std::uint8_t, 8> drain{};
    for (;;) {
        bool closeAll = false;
        bool gone = false;
        bool reset = false;
        {
            std::lock_guard lock(mutex_);
            if (stopping_) return;
            closeAll = std::exchange(closeRequested_, false);
            gone = std::exchange(goAwayRequested_, false);
            reset = resetRequested_;
        }
        if (gone) closeEverything(reset);
        if (closeAll)
            for (auto& p : peers_)
                endSession(*p, true);
        dropClosedPeers();

        std::vector<pollfd> fds{{wake_, POLLIN, 0}};
        const std::size_t listenAt = fds.size();
        if (listen_ >= 0) fds.push_back({listen_, POLLIN, 0});
        const std::size_t udpAt = fds.size();
        if (udp_ >= 0) fds.push_back({udp_, POLLIN, 0});
        const std::size_t peersAt = fds.size();
        std::vector<Peer*> tcpPeers;
        for (auto& p : peers_)
            if (p->tcp && p->fd >= 0) {
                fds.push_back({p->fd, POLLIN, 0});
                tcpPeers.push_back(p.get());
            }

        // Wake for the first session whose inactivity close time runs out.
        int timeoutMs = -1;
        const auto now = Clock::now();
        for (auto& p : peers_)
            if (p->session) {
                const auto due = p->lastActivity + std::chrono::milliseconds(p->inactivityMs);
                const auto left =
                    std::chrono::ceil<std::chrono::milliseconds>(due - now).count() + 1;
                const int ms = static_cast<int>(std::clamp<long long>(left, 0, 60'000));
                timeoutMs = timeoutMs < 0 ? ms : std::min(timeoutMs, ms);
            }

        if (::poll(fds.data(), fds.size(), timeoutMs) < 0 && errno != EINTR) return;
        if (fds[0].revents) {
            [[maybe_unused]] const auto n = ::read(wake_, drain.data(), drain.size());
        }
        for (std::size_t i = 0; i < tcpPeers.size(); ++i)
            if (fds[peersAt + i].revents) readTcp(*tcpPeers[i]);
        if (udp_ >= 0 && udpAt < fds.size() && fds[udpAt].fd == udp_ && fds[udpAt].revents)
            readUdp();
        if (listen_ >= 0 && listenAt < fds.size() && fds[listenAt].fd == listen_ &&
            fds[listenAt].revents)
            accept();
        expireSessions(Clock::now());
    }
}

void HartIpServer::accept() {
    for (;;) {
        sockaddr_in from{};
        socklen_t len = sizeof from;
        const int fd = ::accept4(listen_, reinterpret_cast<sockaddr*>(&from), &len,
                                 SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) return;
        auto p = std::make_unique<Peer>();
        p->tcp = true;
        p->fd = fd;
        p->address = from;
        peers_.push_back(std::move(p));
        count([](Stats& s) { ++s.tcpConnections; });
    }
}

void HartIpServer::readTcp(Peer& peer) {
    if (peer.ssl) return readTls(peer);
    std::array<std::uint8_t, 4096> buf{};
    for (;;) {
        const ssize_t n = ::recv(peer.fd, buf.data(), buf.size(), 0);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
        if (n <= 0) {
            // The client closed or reset the connection: its session ends
            // with it, without a close.
            if (peer.session)
                audit(peer, [](ip::AuditRecord& r) { r.sessionStatus |= ip::kSessionAborted; });
            endSession(peer, false);
            closeFd(peer.fd);
            return;
        }
        if (peer.halfClosed) continue; // the session is over: what comes now is not read
        take(peer, peer.stream.feed(std::span(buf.data(), std::size_t(n))));
        if (peer.fd < 0 || peer.halfClosed || peer.ssl) return;
        if (peer.stream.broken()) {
            endSession(peer, true);
            closeFd(peer.fd);
            return;
        }
    }
}

void HartIpServer::take(Peer& peer, std::vector<ip::StreamItem> items) {
    for (ip::StreamItem& item : items) {
        if (!item.message) {
            count([](Stats& s) { ++s.malformed; });
            continue;
        }
        if (!peer.ssl) {
            const auto bytes = ip::encode(*item.message);
            std::lock_guard lock(mutex_);
            clearMessages_.push_back(bytes);
        }
        handle(peer, *item.message);
        // After a version 2 initiate the rest of the stream is TLS.
        if (peer.fd < 0 || peer.halfClosed || peer.handshaking) return;
    }
}

void HartIpServer::startTls(Peer& peer) {
    peer.ssl = SSL_new(tls_->ctx);
    SSL_set_fd(peer.ssl, peer.fd);
    SSL_set_accept_state(peer.ssl);
    peer.handshaking = true;
}

void HartIpServer::startDtls(Peer& peer) {
    // The server's one UDP socket is shared by every client, so each DTLS
    // session reads and writes through memory: datagrams from its client go
    // in, what DTLS has to send goes out to that client.
    peer.ssl = SSL_new(tls_->dtlsCtx);
    BIO* in = BIO_new(BIO_s_mem());
    BIO* out = BIO_new(BIO_s_mem());
    BIO_set_mem_eof_return(in, -1);
    BIO_set_mem_eof_return(out, -1);
    SSL_set_bio(peer.ssl, in, out);
    SSL_set_options(peer.ssl, SSL_OP_NO_QUERY_MTU);
    SSL_set_mtu(peer.ssl, 1200);
    SSL_set_accept_state(peer.ssl);
    peer.handshaking = true;
}

void HartIpServer::sendDtlsOutput(Peer& peer) {
    BIO* out = SSL_get_wbio(peer.ssl);
    std::array<std::uint8_t, 4096> buf{};
    for (;;) {
        const int n = BIO_read(out, buf.data(), static_cast<int>(buf.size()));
        if (n <= 0 || udp_ < 0) return;
        ::sendto(udp_, buf.data(), static_cast<std::size_t>(n), 0,
                 reinterpret_cast<const sockaddr*>(&peer.address), sizeof peer.address);
    }
}

void HartIpServer::readDtls(Peer& peer, std::span<const std::uint8_t> datagram) {
    BIO_write(SSL_get_rbio(peer.ssl), datagram.data(), static_cast<int>(datagram.size()));
    if (peer.handshaking) {
        const int done = SSL_do_handshake(peer.ssl);
        sendDtlsOutput(peer); // the next flight, or the alert that ends it
        if (done != 1) {
            const int e = SSL_get_error(peer.ssl, done);
            if (e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE) return;
            const std::string why = tlsError();
            count([&why](Stats& s) {
                ++s.handshakeFailures;
                s.lastHandshakeError = why;
            });
            audit(peer, [](ip::AuditRecord& r) { r.sessionStatus |= ip::kBadSessionInitiate; });
            endSession(peer, false);
            return;
        }
        peer.handshaking = false;
        const std::string cipher = SSL_get_cipher_name(peer.ssl);
        count([&cipher](Stats& s) {
            ++s.secureSessions;
            s.lastCipher = cipher;
        });
    }
    std::vector<std::uint8_t> buf(ip::kMaxMessageSize);
    for (;;) {
        const int n = SSL_read(peer.ssl, buf.data(), static_cast<int>(buf.size()));
        if (n <= 0) {
            const int e = SSL_get_error(peer.ssl, n);
            ERR_clear_error();
            sendDtlsOutput(peer);
            if (e == SSL_ERROR_ZERO_RETURN) endSession(peer, false); // the client's close_notify
            return;
        }
        const auto message = ip::decode(std::span(buf.data(), static_cast<std::size_t>(n)));
        if (!message) {
            count([](Stats& s) { ++s.malformed; });
            continue;
        }
        handle(peer, *message);
        if (!peer.session || udp_ < 0) return;
    }
}

void HartIpServer::readTls(Peer& peer) {
    if (peer.handshaking) {
        const int done = SSL_do_handshake(peer.ssl);
        if (done != 1) {
            const int e = SSL_get_error(peer.ssl, done);
            if (e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE) return;
            const std::string why = tlsError();
            count([&why](Stats& s) {
                ++s.handshakeFailures;
                s.lastHandshakeError = why;
            });
            audit(peer, [](ip::AuditRecord& r) { r.sessionStatus |= ip::kBadSessionInitiate; });
            endSession(peer, false);
            closeFd(peer.fd);
            return;
        }
        peer.handshaking = false;
        const std::string cipher = SSL_get_cipher_name(peer.ssl);
        count([&cipher](Stats& s) {
            ++s.secureSessions;
            s.lastCipher = cipher;
        });
    }
    std::array<std::uint8_t, 4096> buf{};
    for (;;) {
        const int n = SSL_read(peer.ssl, buf.data(), static_cast<int>(buf.size()));
        if (n <= 0) {
            const int e = SSL_get_error(peer.ssl, n);
            if (e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE) return;
            ERR_clear_error();
            endSession(peer, false);
            closeFd(peer.fd);
            return;
        }
        if (peer.halfClosed) continue;
        take(peer, peer.secureStream.feed(std::span(buf.data(), std::size_t(n))));
        if (peer.fd < 0 || peer.halfClosed) return;
        if (peer.secureStream.broken()) {
            endSession(peer, true);
            closeFd(peer.fd);
            return;
        }
    }
}

void HartIpServer::readUdp() {
    std::vector<std::uint8_t> buf(ip::kMaxMessageSize);
    for (;;) {
        sockaddr_in from{};
        socklen_t len = sizeof from;
        const ssize_t n =
            ::recvfrom(udp_, buf.data(), buf.size(), 0, reinterpret_cast<sockaddr*>(&from), &len);
        if (n < 0) return; // EAGAIN: all read; other errors are left for the next datagram
        const auto known = std::find_if(peers_.begin(), peers_.end(), [&](const auto& p) {
            return !p->tcp && sameClient(p->address, from);
        });
        if (known != peers_.end() && (*known)->ssl) {
            readDtls(**known, std::span(buf.data(), static_cast<std::size_t>(n)));
            if (udp_ < 0) return;
            continue;
        }
        const auto message = ip::decode(std::span(buf.data(), static_cast<std::size_t>(n)));
        if (!message) continue; // not one whole message: a server drops it
        {
            std::lock_guard lock(mutex_);
            clearMessages_.emplace_back(buf.begin(), buf.begin() + n);
        }
        auto it = std::find_if(peers_.begin(), peers_.end(), [&](const auto& p) {
            return !p->tcp && sameClient(p->address, from);
        });
        if (it == peers_.end()) {
            auto p = std::make_unique<Peer>();
            p->address = from;
            it = peers_.insert(peers_.end(), std::move(p));
        }
        handle(**it, *message);
        if (udp_ < 0) return; // gone while answering
    }
}

void HartIpServer::reply(Peer& peer, const ip::Message& message) {
    auto bytes = ip::encode(message);
    if (message.header.id == ip::MessageId::HartPdu) {
        int skew = 0;
        {
            std::lock_guard lock(mutex_);
            skew = std::exchange(pduCountSkew_, 0);
        }
        // A byte count that disagrees with the frame the message carries.
        const int count = ((bytes[6] << 8) | bytes[7]) + skew;
        bytes[6] = static_cast<std::uint8_t>(count >> 8);
        bytes[7] = static_cast<std::uint8_t>(count);
    }
    if (peer.ssl && !peer.handshaking && !peer.tcp) {
        // One message, one DTLS record, one datagram.
        if (SSL_write(peer.ssl, bytes.data(), static_cast<int>(bytes.size())) <= 0)
            ERR_clear_error();
        sendDtlsOutput(peer);
    } else if (peer.ssl && !peer.handshaking) {
        std::size_t done = 0;
        while (peer.fd >= 0 && done < bytes.size()) {
            const int n =
                SSL_write(peer.ssl, bytes.data() + done, static_cast<int>(bytes.size() - done));
            if (n > 0) {
                done += static_cast<std::size_t>(n);
                continue;
            }
            const int e = SSL_get_error(peer.ssl, n);
            pollfd p{peer.fd, static_cast<short>(e == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT), 0};
            if ((e != SSL_ERROR_WANT_READ && e != SSL_ERROR_WANT_WRITE) ||
                ::poll(&p, 1, 1000) <= 0) {
                ERR_clear_error();
                return;
            }
        }
    } else if (peer.tcp) {
        if (peer.fd >= 0) sendAll(peer.fd, bytes);
    } else if (udp_ >= 0) {
        ::sendto(udp_, bytes.data(), bytes.size(), 0,
                 reinterpret_cast<const sockaddr*>(&peer.address), sizeof peer.address);
    }
}

void HartIpServer::handle(Peer& peer, const ip::Message& m) {
    if (m.header.type != ip::MessageType::Request) return;
    const bool initiate = m.header.id == ip::MessageId::SessionInitiate;
    // A message of another version than the session's is dropped unread.
    if (ip::malformation(m,
                         peer.session && !initiate ? std::optional(peer.version) : std::nullopt)) {
        count([](Stats& s) { ++s.malformed; });
        return;
    }
    std::uint8_t answerVersion = peer.session ? peer.version : m.header.version;
    auto respond = [&](ip::MessageType type, std::uint8_t status, Bytes body = {}) {
        reply(peer, ip::Message{
                        ip::Header{answerVersion, type, m.header.id, status, m.header.sequence, 0},
                        std::move(body)});
    };
    auto nak = [&] {
        count([](Stats& s) { ++s.naks; });
        respond(ip::MessageType::Nak, 0);
    };
    const bool deviceMessage = m.header.id == ip::MessageId::HartPdu ||
                               m.header.id == ip::MessageId::DirectPdu ||
                               m.header.id == ip::MessageId::ReadAuditLog;
    if (deviceMessage && !peer.ssl) count([](Stats& s) { ++s.clearPdus; });

    std::optional<std::uint8_t> refuse;
    std::optional<std::uint32_t> inactivity;
    bool ignoreKeepAlives = false;
    int openSessions = 0;
    {
        std::lock_guard lock(mutex_);
        refuse = refuseStatus_;
        inactivity = inactivityOverride_;
        ignoreKeepAlives = ignoreKeepAlives_;
        openSessions = stats_.openSessions;
    }

    switch (m.header.id) {
    case ip::MessageId::SessionInitiate: {
        const std::uint8_t version = m.header.version;
        const bool secure = version >= ip::kSecureVersion;
        auto refuseWith = [&](std::uint8_t status) {
            count([](Stats& s) { ++s.sessionsRefused; });
            audit(peer, [](ip::AuditRecord& r) { r.sessionStatus |= ip::kBadSessionInitiate; });
            respond(ip::MessageType::Response, status, m.body);
            peer.halfClose(); // nothing more to talk about on this connection
        };
        if (secure && !tls_) {
            // A server without TLS here speaks version 1 and says so.
            answerVersion = ip::kVersion;
            return refuseWith(ip::kVersionNotSupported);
        }
        if (secure && !tls_->security.initialized) return refuseWith(ip::kSecurityNotInitialized);
        if (!secure && tls_ && tls_->security.secureOnly) {
            // Once it has keys the server ignores version 1 altogether.
            count([](Stats& s) { ++s.sessionsRefused; });
            audit(peer, [](ip::AuditRecord& r) { r.sessionStatus |= ip::kBadSessionInitiate; });
            return;
        }
        const auto asked = ip::decodeSessionInitiate(m.body);
        if (!asked) return respond(ip::MessageType::Response, hart::rc::kTooFewDataBytes);
        if (asked->hostType != ip::kPrimaryHost && asked->hostType != ip::kSecondaryHost)
            return respond(ip::MessageType::Response, hart::rc::kInvalidSelection);
        if (!peer.session && !refuse &&
            static_cast<std::size_t>(openSessions) >= options_.maxSessions)
            refuse = ip::kTooManySessions;
        if (refuse) return refuseWith(*refuse);
        const std::uint32_t granted = inactivity.value_or(asked->inactivityCloseTime);
        const std::uint8_t status =
            granted == asked->inactivityCloseTime ? std::uint8_t{0} : hart::rc::kWarning;
        const bool fresh = !peer.session;
        peer.session = true;
        peer.version = version;
        peer.inactivityMs = granted;
        peer.lastActivity = Clock::now();
        audit(peer, [secure](ip::AuditRecord& r) {
            if (!secure) r.sessionStatus |= ip::kInsecureSession;
        });
        // Counted before the answer goes, so that whoever reads the answer
        // finds it counted.
        count([&](Stats& s) {
            if (fresh) {
                ++s.sessionsOpened;
                ++s.openSessions;
            }
            s.lastInactivityCloseTime = granted;
        });
        respond(ip::MessageType::Response, status,
                ip::encodeSessionInitiate({asked->hostType, granted}));
        // The answer went in the clear; TLS starts on the same connection,
        // DTLS between the same two ports.
        if (secure && fresh) {
            if (peer.tcp)
                startTls(peer);
            else
                startDtls(peer);
        }
        return;
    }
    case ip::MessageId::SessionClose:
        if (!peer.session) return nak();
        count([](Stats& s) { ++s.closedByClient; });
        respond(ip::MessageType::Response, 0);
        endSession(peer, false); // over TCP our FIN follows the answer
        return;
    case ip::MessageId::KeepAlive:
        if (!peer.session) return nak();
        if (ignoreKeepAlives) return count([](Stats& s) { ++s.keepAlivesIgnored; });
        peer.lastActivity = Clock::now();
        count([](Stats& s) { ++s.keepAlives; });
        respond(ip::MessageType::Response, 0);
        return;
    case ip::MessageId::HartPdu: {
        if (!peer.session) return nak();
        peer.lastActivity = Clock::now();
        count([](Stats& s) { ++s.pdus; });
        // A silent device gets no response: the client's reply time-out
        // sees to that, as on a modem.
        std::vector<Bytes> answers = answerer_(m.body);
        const bool wrote = writes(m.body);
        audit(peer, [&](ip::AuditRecord& r) {
            ++r.requestPdus;
            r.responsePdus += static_cast<std::uint32_t>(answers.size());
            if (wrote) r.sessionStatus |= ip::kWritesOccurred;
        });
        for (Bytes& r : answers)
            respond(ip::MessageType::Response, 0, std::move(r));
        return;
    }
    case ip::MessageId::DirectPdu:
        if (!peer.session) return nak();
        peer.lastActivity = Clock::now();
        count([](Stats& s) { ++s.directPdus; });
        return directPdu(peer, m);
    case ip::MessageId::ReadAuditLog:
        if (!peer.session) return nak();
        peer.lastActivity = Clock::now();
        count([](Stats& s) { ++s.auditLogReads; });
        respond(ip::MessageType::Response, 0, ip::encodeAuditLog(auditLog(m.body)));
        return;
    }
    nak(); // a message id this server does not know
}

void HartIpServer::directPdu(Peer& peer, const ip::Message& m) {
    auto respond = [&](std::uint8_t status, Bytes body) {
        reply(peer, ip::Message{ip::Header{peer.version, ip::MessageType::Response, m.header.id,
                                           status, m.header.sequence, 0},
                                std::move(body)});
    };
    const auto commands = ip::decodeDirectPduRequest(m.body);
    if (!commands) return respond(hart::rc::kTooFewDataBytes, {});
    // The server's own device is the one at polling address 0; each command
    // goes to it as a long frame from a primary master.
    auto ask = [this](Bytes frame) -> std::optional<Bytes> {
        frame.push_back(hart::checksum(frame));
        auto answers = answerer_(frame);
        if (answers.empty()) return std::nullopt;
        return answers.front();
    };
    if (!deviceAddress_) {
        const auto identity = ask({hart::kShortRequest, hart::kPrimaryMaster, 0, 0});
        // 06 80 00 bc rc status data...: expanded device type at data 1-2, id at 9-11.
        if (identity && identity->size() >= 6 + 12) {
            const auto& d = *identity;
            deviceAddress_ = std::array<std::uint8_t, 5>{
                static_cast<std::uint8_t>(d[6 + 1] & hart::kAddressMask), d[6 + 2], d[6 + 9],
                d[6 + 10], d[6 + 11]};
        }
    }
    ip::DirectPduResponse out;
    for (const ip::DirectCommand& c : *commands) {
        ip::DirectReply r{c.command, hart::rc::kNotImplemented, {}};
        if (deviceAddress_) {
            Bytes frame{hart::kLongRequest,
                        static_cast<std::uint8_t>((*deviceAddress_)[0] | hart::kPrimaryMaster)};
            frame.insert(frame.end(), deviceAddress_->begin() + 1, deviceAddress_->end());
            Bytes data = c.data;
            if (c.command > 0xFF) {
                // Beyond 255 a command goes as command 31 with its number in front.
                frame.push_back(hart::kExpandedCommand);
                data.insert(data.begin(), {static_cast<std::uint8_t>(c.command >> 8),
                                           static_cast<std::uint8_t>(c.command)});
            } else {
                frame.push_back(static_cast<std::uint8_t>(c.command));
            }
            frame.push_back(static_cast<std::uint8_t>(data.size()));
            frame.insert(frame.end(), data.begin(), data.end());
            // 86 addr(5) cmd bc rc status data... checksum
            if (const auto answer = ask(std::move(frame)); answer && answer->size() >= 10) {
                const auto& a = *answer;
                r.responseCode = a[8];
                out.deviceStatus = a[9];
                std::size_t from = 10;
                if (c.command > 0xFF) from += 2; // the command number echoed
                if (a.size() > from + 1) r.data.assign(a.begin() + from, a.end() - 1);
            }
        }
        out.replies.push_back(std::move(r));
    }
    respond(0, ip::encodeDirectPduResponse(out));
}

ip::AuditLog HartIpServer::auditLog(std::span<const std::uint8_t> request) const {
    std::lock_guard lock(mutex_);
    ip::AuditLog log;
    log.powerUpTime = powerUpTime_;
    log.lastSecurityChange = powerUpTime_;
    const std::size_t first = request.size() >= 1 ? request[0] : 0;
    const std::size_t wanted = request.size() >= 2 ? request[1] : 1;
    log.firstRecord = static_cast<std::uint8_t>(first);
    for (std::size_t i = first; i < audit_.size() && log.records.size() < wanted; ++i)
        log.records.push_back(audit_[i]);
    return log;
}

void HartIpServer::endSession(Peer& peer, bool byServer) {
    if (peer.session) {
        peer.session = false;
        count([byServer](Stats& s) {
            --s.openSessions;
            if (byServer) ++s.closedByServer;
        });
        audit(peer, [](ip::AuditRecord& r) { r.disconnectTime = secondsNow(); });
    }
    // Over TCP the connection ends with the session; our FIN goes after the
    // last response.
    if (peer.ssl && !peer.handshaking && peer.fd >= 0 && !peer.halfClosed) {
        SSL_shutdown(peer.ssl);
        ERR_clear_error();
    }
    if (peer.ssl && !peer.tcp) {
        if (!peer.handshaking) SSL_shutdown(peer.ssl);
        ERR_clear_error();
        sendDtlsOutput(peer);
    }
    peer.halfClose();
}

void HartIpServer::expireSessions(Clock::time_point now) {
    for (auto& p : peers_)
        if (p->session && now - p->lastActivity > std::chrono::milliseconds(p->inactivityMs)) {
            audit(*p, [](ip::AuditRecord& r) { r.sessionStatus |= ip::kSessionTimedOut; });
            endSession(*p, true);
        }
}

void HartIpServer::dropClosedPeers() {
    std::erase_if(peers_, [](const auto& p) { return p->tcp ? p->fd < 0 : !p->session; });
}

void HartIpServer::closeEverything(bool reset) {
    // Listening ends first: whoever sees a connection end finds nobody to
    // connect to.
    closeFd(listen_);
    closeFd(udp_);
    for (auto& p : peers_) {
        if (p->session) count([](Stats& s) { --s.openSessions; });
        p->session = false;
        if (reset && p->fd >= 0) {
            // A zero linger time makes close() send RST.
            const linger now{1, 0};
            ::setsockopt(p->fd, SOL_SOCKET, SO_LINGER, &now, sizeof now);
        }
        closeFd(p->fd);
    }
    peers_.clear();
}

} // namespace sim
