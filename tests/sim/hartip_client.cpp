#include "hartip_client.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace simtest {

HartIpClient::HartIpClient(Transport transport, std::uint16_t port) : transport_(transport) {
    fd_ = ::socket(AF_INET, (transport == Transport::Tcp ? SOCK_STREAM : SOCK_DGRAM) | SOCK_CLOEXEC,
                   0);
    if (fd_ < 0) throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0)
        throw std::runtime_error(std::string("connect: ") + std::strerror(errno));
}

HartIpClient::~HartIpClient() {
    if (fd_ >= 0) ::close(fd_);
}

void HartIpClient::send(const Bytes& message) {
    if (::send(fd_, message.data(), message.size(), MSG_NOSIGNAL) !=
        static_cast<ssize_t>(message.size()))
        throw std::runtime_error(std::string("send: ") + std::strerror(errno));
}

void HartIpClient::sendByteByByte(const Bytes& message) {
    for (std::uint8_t b : message)
        if (::send(fd_, &b, 1, MSG_NOSIGNAL) != 1)
            throw std::runtime_error(std::string("send: ") + std::strerror(errno));
}

bool HartIpClient::readMore(std::chrono::steady_clock::time_point until) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        until - std::chrono::steady_clock::now());
    if (left.count() <= 0 || ended_) return false;
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
    std::uint8_t buf[65536];
    const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
    if (n < 0 && errno == EINTR) return true;
    if (n <= 0) {
        ended_ = transport_ == Transport::Tcp;
        return false;
    }
    pending_.insert(pending_.end(), buf, buf + n);
    return true;
}

std::optional<Bytes> HartIpClient::takeMessage() {
    if (pending_.size() < 8) return std::nullopt;
    const std::size_t count = std::size_t(pending_[6]) << 8 | pending_[7];
    if (count < 8) { // not a message: hand back what there is
        return std::exchange(pending_, {});
    }
    if (pending_.size() < count) return std::nullopt;
    Bytes m(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(count));
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(count));
    return m;
}

std::optional<Bytes> HartIpClient::next(std::chrono::milliseconds deadline) {
    const auto until = std::chrono::steady_clock::now() + deadline;
    for (;;) {
        if (auto m = takeMessage()) return m;
        if (!readMore(until)) return std::nullopt;
    }
}

bool HartIpClient::closedByServer(std::chrono::milliseconds deadline) {
    const auto until = std::chrono::steady_clock::now() + deadline;
    while (!ended_)
        if (!readMore(until) && !ended_) return false;
    return true;
}

} // namespace simtest
