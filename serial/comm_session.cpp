#include "serial/comm_session.h"

#include "serial/handoff.h"

#include <QCoreApplication>

#include <algorithm>
#include <cerrno>
#include <ctime>

namespace rxserial {

void CommSession::post(Notice notice, QByteArray bytes, std::uint32_t value) const {
    auto* event = new NoticeEvent(notice, std::move(bytes), value);
    handOver(event);
    QCoreApplication::postEvent(receiver, event);
}

void CommSession::postHangup() {
    if (!hangupPosted_.exchange(true)) post(Notice::RequestHangup);
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

} // namespace rxserial
