#include "sim/hartip_server.h"

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
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sim {

namespace ip = hart::ip;

struct HartIpServer::Peer {
    bool tcp = false;
    int fd = -1;           // TCP: the connection; UDP: none (the server's socket)
    sockaddr_in address{}; // UDP: the client
    ip::StreamReassembler stream;
    bool halfClosed = false; // TCP: our FIN is out, waiting for the client's
    bool session = false;
    std::uint32_t inactivityMs = 0;
    Clock::time_point lastActivity{};

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

} // namespace

HartIpServer::HartIpServer(Answerer answerer, HartIpServerOptions options)
    : answerer_(std::move(answerer)), options_(options) {
    wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake_ < 0) fail("eventfd");
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
        const int fd = ::accept4(listen_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) return;
        auto p = std::make_unique<Peer>();
        p->tcp = true;
        p->fd = fd;
        peers_.push_back(std::move(p));
        count([](Stats& s) { ++s.tcpConnections; });
    }
}

void HartIpServer::readTcp(Peer& peer) {
    std::array<std::uint8_t, 4096> buf{};
    for (;;) {
        const ssize_t n = ::recv(peer.fd, buf.data(), buf.size(), 0);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
        if (n <= 0) {
            // The client closed or reset the connection: its session ends
            // with it.
            endSession(peer, false);
            closeFd(peer.fd);
            return;
        }
        if (peer.halfClosed) continue; // the session is over: what comes now is not read
        for (const ip::Message& m : peer.stream.feed(std::span(buf.data(), std::size_t(n)))) {
            handle(peer, m);
            if (peer.fd < 0 || peer.halfClosed) return;
        }
        if (peer.stream.broken()) {
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
        const auto message = ip::decode(std::span(buf.data(), static_cast<std::size_t>(n)));
        if (!message) continue; // not one whole message: a server drops it
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
    const auto bytes = ip::encode(message);
    if (peer.tcp) {
        if (peer.fd >= 0) sendAll(peer.fd, bytes);
    } else if (udp_ >= 0) {
        ::sendto(udp_, bytes.data(), bytes.size(), 0,
                 reinterpret_cast<const sockaddr*>(&peer.address), sizeof peer.address);
    }
}

void HartIpServer::handle(Peer& peer, const ip::Message& m) {
    if (m.header.type != ip::MessageType::Request) return;
    auto respond = [&](ip::MessageType type, std::uint8_t status, Bytes body = {}) {
        reply(peer,
              ip::Message{ip::Header{ip::kVersion, type, m.header.id, status, m.header.sequence, 0},
                          std::move(body)});
    };
    auto nak = [&] {
        count([](Stats& s) { ++s.naks; });
        respond(ip::MessageType::Nak, 0);
    };

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
        const auto asked = ip::decodeSessionInitiate(m.body);
        if (!asked) return respond(ip::MessageType::Response, hart::rc::kTooFewDataBytes);
        if (asked->hostType != ip::kPrimaryHost && asked->hostType != ip::kSecondaryHost)
            return respond(ip::MessageType::Response, hart::rc::kInvalidSelection);
        if (!peer.session && !refuse &&
            static_cast<std::size_t>(openSessions) >= options_.maxSessions)
            refuse = ip::kTooManySessions;
        if (refuse) {
            count([](Stats& s) { ++s.sessionsRefused; });
            respond(ip::MessageType::Response, *refuse, m.body);
            peer.halfClose(); // nothing more to talk about on this connection
            return;
        }
        const std::uint32_t granted = inactivity.value_or(asked->inactivityCloseTime);
        const std::uint8_t status =
            granted == asked->inactivityCloseTime ? std::uint8_t{0} : hart::rc::kWarning;
        const bool fresh = !peer.session;
        peer.session = true;
        peer.inactivityMs = granted;
        peer.lastActivity = Clock::now();
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
    case ip::MessageId::HartPdu:
        if (!peer.session) return nak();
        peer.lastActivity = Clock::now();
        count([](Stats& s) { ++s.pdus; });
        // A silent device gets no response: the client's reply time-out
        // sees to that, as on a modem.
        for (Bytes& r : answerer_(m.body))
            respond(ip::MessageType::Response, 0, std::move(r));
        return;
    }
    nak(); // a message id this server does not know
}

void HartIpServer::endSession(Peer& peer, bool byServer) {
    if (peer.session) {
        peer.session = false;
        count([byServer](Stats& s) {
            --s.openSessions;
            if (byServer) ++s.closedByServer;
        });
    }
    // Over TCP the connection ends with the session; our FIN goes after the
    // last response.
    peer.halfClose();
}

void HartIpServer::expireSessions(Clock::time_point now) {
    for (auto& p : peers_)
        if (p->session && now - p->lastActivity > std::chrono::milliseconds(p->inactivityMs))
            endSession(*p, true);
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
