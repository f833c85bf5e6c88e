#include "serial/comm_session.h"

#include "serial/handoff.h"

#include <QCoreApplication>

#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <system_error>
#include <utility>

namespace rxserial {

CommSession::CommSession(std::uint64_t serial, int device, QObject* receiver,
                         std::atomic<bool>* sendQueueEmpty)
    : serial(serial), device(device), receiver(receiver), sendQueueEmpty(sendQueueEmpty) {}

CommSession::~CommSession() {
    // A device someone else holds is left exactly as it is: its bytes and
    // its exclusive mode are theirs.
    if (held) {
        // Unread input belongs to a session that is over; discarding unsent
        // output also keeps close() from waiting for it to drain. On a device
        // that has gone each of these fails with EIO, with nothing to undo.
        (void)::tcflush(device, TCIOFLUSH);
        (void)saved.restore(device);
        (void)::ioctl(device, TIOCNXCL);
    }
    ::close(device);
    if (closeSignal >= 0) ::close(closeSignal);
    if (lossSignal >= 0) ::close(lossSignal);
}

int CommSession::createSignals() {
    closeSignal = ::eventfd(0, EFD_CLOEXEC);
    if (closeSignal < 0) return errno;
    lossSignal = ::eventfd(0, EFD_CLOEXEC);
    if (lossSignal < 0) return errno;
    return 0;
}

void CommSession::post(Notice notice, QByteArray bytes, std::uint32_t value) const {
    auto* event = new NoticeEvent(notice, serial, std::move(bytes), value);
    handOver(event);
    QCoreApplication::postEvent(receiver, event);
}

void CommSession::postHangup(int error) {
    if (std::exchange(hangupPosted_, true)) return;
    post(Notice::RequestHangup, {}, static_cast<std::uint32_t>(error));
}

void CommSession::signalLoss(int error) {
    lossError_.store(error, std::memory_order_release);
    notify(lossSignal);
}

int CommSession::lossError() const {
    return lossError_.load(std::memory_order_acquire);
}

bool CommSession::closing() const {
    pollfd fd{closeSignal, POLLIN, 0};
    return ::poll(&fd, 1, 0) != 0;
}

int pollUntil(pollfd* fds, nfds_t count, std::optional<Clock::time_point> deadline) {
    for (;;) {
        timespec left{};
        if (deadline) {
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                std::max(*deadline - Clock::now(), Clock::duration::zero()));
            left.tv_sec = static_cast<time_t>(ns.count() / 1'000'000'000);
            left.tv_nsec = static_cast<long>(ns.count() % 1'000'000'000);
        }
        const int ready = ::ppoll(fds, count, deadline ? &left : nullptr, nullptr);
        if (ready >= 0 || errno != EINTR) return ready;
    }
}

int pollError(int ready, short revents) {
    if (ready < 0) return errno;
    return (revents & POLLNVAL) != 0 ? EBADF : 0;
}

std::string hangupText(int error) {
    return error == 0 ? std::string("hang-up") : std::generic_category().message(error);
}

void notify(int eventFd) {
    const std::uint64_t one = 1;
    // Cannot fail short of a counter near 2^64, and nobody drains these.
    [[maybe_unused]] const ssize_t put = ::write(eventFd, &one, sizeof one);
}

} // namespace rxserial
