#include "sim/pty_peer.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

namespace sim {

PtyPeer::PtyPeer() {
    char name[256] = {};
    if (openpty(&master_, &slaveKeep_, name, nullptr, nullptr) != 0)
        throw std::runtime_error(std::string("openpty failed: ") + std::strerror(errno));
    slavePath_ = name;
    // Raw until the program under test sets its own line settings.
    termios t{};
    if (tcgetattr(slaveKeep_, &t) == 0) {
        cfmakeraw(&t);
        tcsetattr(slaveKeep_, TCSANOW, &t);
    }
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    fcntl(master_, F_SETFD, FD_CLOEXEC);
    fcntl(slaveKeep_, F_SETFD, FD_CLOEXEC);
    wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

PtyPeer::~PtyPeer() {
    stop();
    if (master_ >= 0) ::close(master_);
    if (slaveKeep_ >= 0) ::close(slaveKeep_);
    if (wake_ >= 0) ::close(wake_);
}

void PtyPeer::start(BytesHandler onBytes) {
    stop();
    onBytes_ = std::move(onBytes);
    reader_ = std::thread([this] { readLoop(); });
}

void PtyPeer::stop() {
    if (!reader_.joinable()) return;
    std::uint64_t one = 1;
    [[maybe_unused]] auto n = ::write(wake_, &one, sizeof one);
    reader_.join();
    std::uint64_t drain = 0;
    [[maybe_unused]] auto m = ::read(wake_, &drain, sizeof drain);
}

void PtyPeer::readLoop() {
    std::vector<std::uint8_t> buf(4096);
    for (;;) {
        int fd = master_;
        if (fd < 0) return;
        pollfd fds[2] = {{wake_, POLLIN, 0}, {fd, POLLIN, 0}};
        int r = ::poll(fds, 2, -1);
        if (r < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[0].revents) return;
        if (fds[1].revents & POLLIN) {
            ssize_t n = ::read(fd, buf.data(), buf.size());
            if (n > 0) {
                if (onBytes_) onBytes_(std::span(buf.data(), static_cast<std::size_t>(n)));
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        }
        if (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            // The slave side was closed by its last user; our own slave
            // handle keeps the pty alive, so this only happens after hangUp.
            // Wait for the wake-up rather than spin.
            pollfd w{wake_, POLLIN, 0};
            while (::poll(&w, 1, -1) < 0 && errno == EINTR) {
            }
            return;
        }
    }
}

bool PtyPeer::write(std::span<const std::uint8_t> bytes, std::chrono::microseconds perByte) {
    std::lock_guard lock(writeMutex_);
    if (master_ < 0) return false;
    std::size_t step = perByte.count() > 0 ? 1 : bytes.size();
    std::size_t done = 0;
    while (done < bytes.size()) {
        std::size_t want = std::min(step, bytes.size() - done);
        ssize_t n = ::write(master_, bytes.data() + done, want);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN) {
                pollfd p{master_, POLLOUT, 0};
                ::poll(&p, 1, 1000);
                continue;
            }
            return false;
        }
        done += static_cast<std::size_t>(n);
        if (perByte.count() > 0 && done < bytes.size()) std::this_thread::sleep_for(perByte);
    }
    return true;
}

void PtyPeer::hangUp() {
    std::lock_guard lock(writeMutex_);
    if (slaveKeep_ >= 0) {
        ::close(slaveKeep_);
        slaveKeep_ = -1;
    }
    if (master_ >= 0) {
        // The reader may be inside poll() on this fd; wake it first.
        std::uint64_t one = 1;
        [[maybe_unused]] auto n = ::write(wake_, &one, sizeof one);
        if (reader_.joinable() && reader_.get_id() != std::this_thread::get_id()) reader_.join();
        ::close(master_);
        master_ = -1;
    }
}

} // namespace sim
