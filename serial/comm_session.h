#pragma once
// What one open port shares between TComm and its two worker threads: the
// device, the close signal, the read time-outs and the way back to the main
// thread. Created by OpenPort, destroyed by ClosePort after both threads have
// been joined.

#include "serial/tcomm.h"

#include <QByteArray>
#include <QEvent>

#include <poll.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>

namespace rxserial {

using Clock = std::chrono::steady_clock;

// What the threads post to the component: one event type per kind of report.
enum class Notice : int {
    ReceiveData = QEvent::User + 1,
    ReceiveError = QEvent::User + 2,
    RequestHangup = QEvent::User + 3,
    ModemStateChange = QEvent::User + 4,
    SendDataEmpty = QEvent::User + 5,
};

class NoticeEvent : public QEvent {
public:
    NoticeEvent(Notice notice, QByteArray bytes, std::uint32_t value)
        : QEvent(static_cast<QEvent::Type>(notice)), bytes(std::move(bytes)), value(value) {}
    Notice notice() const { return static_cast<Notice>(type()); }

    const QByteArray bytes;    // ReceiveData: the chunk
    const std::uint32_t value; // ReceiveError: error flags; ModemStateChange: modem event
};

struct CommSession {
    int device = -1;
    int closeSignal = -1; // eventfd; readable from the moment ClosePort begins
    QObject* receiver = nullptr;
    std::atomic<bool>* sendQueueEmpty = nullptr;

    // The read time-outs in force, in ms (written by the main thread whenever
    // they are applied, read by the read thread at each wake-up).
    std::atomic<int> readInterval{0};
    std::atomic<int> readTotalMultiplier{0};
    std::atomic<int> readTotalConstant{0};
    std::atomic<bool> ignoreNullChar{false};

    void post(Notice notice, QByteArray bytes = {}, std::uint32_t value = 0) const;
    // Posts RequestHangup once per session, whichever thread finds the device
    // gone first.
    void postHangup();
    bool closing() const;

private:
    std::atomic<bool> hangupPosted_{false};
};

// poll() until something is ready or the deadline passes (none: no limit).
// Retries on EINTR with the time that is left, so a signal never stretches
// the wait. Returns poll()'s result: 0 when the deadline passed.
int pollUntil(pollfd* fds, nfds_t count, std::optional<Clock::time_point> deadline);

} // namespace rxserial
