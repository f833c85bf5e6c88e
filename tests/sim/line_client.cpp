#include "line_client.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

#include "hart/hex.h"

namespace simtest {

namespace {

constexpr std::uint8_t kPreamble = 0xFF;
constexpr std::size_t kPreambles = 5;

bool isReplyOrBurst(std::uint8_t delimiter) {
    return delimiter == 0x06 || delimiter == 0x86 || delimiter == 0x01 || delimiter == 0x81;
}

} // namespace

LineClient::LineClient(const std::string& ptyPath) {
    fd_ = ::open(ptyPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) throw std::runtime_error("open " + ptyPath + ": " + std::strerror(errno));
    termios t{};
    if (tcgetattr(fd_, &t) != 0 || (cfmakeraw(&t), tcsetattr(fd_, TCSANOW, &t)) != 0)
        throw std::runtime_error("raw mode on " + ptyPath + ": " + std::strerror(errno));
}

LineClient::~LineClient() {
    if (fd_ >= 0) ::close(fd_);
}

void LineClient::send(const Bytes& frame) {
    Bytes out(kPreambles + frame.size(), kPreamble);
    std::copy(frame.begin(), frame.end(), out.begin() + kPreambles);
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t n = ::write(fd_, out.data() + done, out.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            throw std::runtime_error(std::string("write: ") + std::strerror(errno));
        pollfd p{fd_, POLLOUT, 0};
        ::poll(&p, 1, 1000);
    }
}

// A frame starts at a delimiter right after a preamble; its length follows
// from the delimiter's address size and the byte count.
std::optional<Bytes> LineClient::takeFrame() {
    for (std::size_t i = 0; i + 1 < pending_.size(); ++i) {
        if (pending_[i] != kPreamble || !isReplyOrBurst(pending_[i + 1])) continue;
        const std::size_t start = i + 1;
        const std::size_t addressBytes = (pending_[start] & 0x80) ? 5 : 1;
        const std::size_t countAt = start + 1 + addressBytes + 1;
        if (countAt >= pending_.size()) return std::nullopt;
        const std::size_t end = countAt + 1 + pending_[countAt] + 1;
        if (end > pending_.size()) return std::nullopt;
        Bytes frame(pending_.begin() + static_cast<std::ptrdiff_t>(start),
                    pending_.begin() + static_cast<std::ptrdiff_t>(end));
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(end));
        return frame;
    }
    return std::nullopt;
}

std::optional<Bytes> LineClient::nextFrame(std::chrono::milliseconds deadline) {
    const auto until = std::chrono::steady_clock::now() + deadline;
    for (;;) {
        if (auto f = takeFrame()) return f;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            until - std::chrono::steady_clock::now());
        if (left.count() <= 0) return std::nullopt;
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
        std::uint8_t buf[512];
        const ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n > 0) pending_.insert(pending_.end(), buf, buf + n);
    }
}

std::optional<Bytes> LineClient::nextReply(std::chrono::milliseconds deadline) {
    const auto until = std::chrono::steady_clock::now() + deadline;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            until - std::chrono::steady_clock::now());
        auto f = nextFrame(std::max(left, std::chrono::milliseconds{0}));
        if (!f) return std::nullopt;
        if ((f->front() & 0x07) != 0x01) return f;
    }
}

Bytes withChecksum(Bytes frame) {
    std::uint8_t x = 0;
    for (std::uint8_t b : frame)
        x ^= b;
    frame.push_back(x);
    return frame;
}

Bytes hex(const char* text) {
    return hart_test::hex(text);
}

std::string hexText(const Bytes& bytes) {
    std::string s;
    char buf[4];
    for (std::uint8_t b : bytes) {
        std::snprintf(buf, sizeof buf, "%02X ", b);
        s += buf;
    }
    if (!s.empty()) s.pop_back();
    return s;
}

} // namespace simtest
