#include "host/timer_wake.h"

#include <QSocketNotifier>
#include <QTimer>

#include <sys/timerfd.h>
#include <unistd.h>

#include <cstdint>

namespace host {

TimerWake::TimerWake(QObject* parent) : QObject(parent) {
    fd_ = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    // Without a timerfd the timers still fire, up to a millisecond late.
    if (fd_ < 0) return;
    notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        // The wake-up itself is all that is wanted; the count is not.
        std::uint64_t expirations = 0;
        [[maybe_unused]] const auto n = ::read(fd_, &expirations, sizeof expirations);
    });
}

TimerWake::~TimerWake() {
    delete notifier_;
    if (fd_ >= 0) ::close(fd_);
}

void TimerWake::follow(const QTimer& timer) {
    if (fd_ < 0 || timer.interval() <= 0) return;
    // Armed after the timer was started, so never before its deadline.
    const int ms = timer.interval();
    itimerspec when{};
    when.it_value.tv_sec = ms / 1000;
    when.it_value.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
    ::timerfd_settime(fd_, 0, &when, nullptr);
}

} // namespace host
