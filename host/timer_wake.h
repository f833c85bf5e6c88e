#pragma once
// Qt's GLib event loop sleeps until its next timer in whole milliseconds,
// rounded up, so even a precise QTimer fires up to a millisecond after its
// deadline. A TimerWake follows one timer and wakes the event loop at the
// timer's deadline (a Linux timerfd), where the loop then finds the timer
// due and fires it at once. The timer itself is untouched: starting,
// stopping and its interval stay with whoever owns it.

#include <QObject>

class QSocketNotifier;
class QTimer;

namespace host {

class TimerWake : public QObject {
public:
    explicit TimerWake(QObject* parent = nullptr);
    ~TimerWake() override;
    TimerWake(const TimerWake&) = delete;
    TimerWake& operator=(const TimerWake&) = delete;

    // Call right after starting `timer`: the event loop wakes once the
    // timer's interval has passed from now. A later call replaces this one.
    void follow(const QTimer& timer);

private:
    int fd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace host
