#pragma once
// What one open port shares between TComm and its two worker threads: the
// device, the close and loss signals, the read time-outs and the way back to
// the main thread. Created by OpenPort; destroyed, after both threads have
// been joined, by ClosePort or by an OpenPort that fails part-way.

#include "serial/kernel_termios.h"
#include "serial/tcomm.h"

#include <QByteArray>
#include <QEvent>

#include <poll.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

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
    NoticeEvent(Notice notice, std::uint64_t session, QByteArray bytes, std::uint32_t value)
        : QEvent(static_cast<QEvent::Type>(notice)), session(session), bytes(std::move(bytes)),
          value(value) {}
    Notice notice() const { return static_cast<Notice>(type()); }

    const std::uint64_t session; // CommSession::serial of the session that posted it
    const QByteArray bytes;      // ReceiveData: the chunk
    // ReceiveError: error flags; ModemStateChange: modem event; RequestHangup:
    // the errno that ended the session, 0 when there was none.
    const std::uint32_t value;
};

struct CommSession {
    // Takes the device descriptor. The destructor closes every descriptor;
    // once the device was `held`, it first discards the session's unread and
    // unsent bytes, puts back the settings saved in `saved` and lifts the
    // exclusive mode (a device that has gone answers EIO: nothing to undo).
    CommSession(std::uint64_t serial, int device, QObject* receiver,
                std::atomic<bool>* sendQueueEmpty);
    ~CommSession();
    CommSession(const CommSession&) = delete;
    CommSession& operator=(const CommSession&) = delete;

    // Creates the close and loss signals; returns 0 or the errno.
    int createSignals();

    const std::uint64_t serial; // tells this session's reports from an earlier one's
    const int device;
    int closeSignal = -1; // eventfd; readable from the moment ClosePort begins
    int lossSignal = -1;  // eventfd; the write thread found the device gone
    QObject* const receiver;
    std::atomic<bool>* const sendQueueEmpty;
    bool held = false;  // ours alone: the device must not be touched before
    SavedTermios saved; // the device's settings as OpenPort found them

    // The read time-outs in force, in ms (written by the main thread whenever
    // they are applied, read by the read thread at each wake-up).
    std::atomic<int> readInterval{0};
    std::atomic<int> readTotalMultiplier{0};
    std::atomic<int> readTotalConstant{0};
    std::atomic<bool> ignoreNullChar{false};
    // Bytes the read thread has taken from the device, chunks still being
    // collected included.
    std::atomic<std::uint64_t> bytesRead{0};

    void post(Notice notice, QByteArray bytes = {}, std::uint32_t value = 0) const;
    // Read thread only: posts RequestHangup with `error`, once per session.
    // Being the one poster keeps every chunk it read ahead of the hang-up.
    void postHangup(int error);
    // Write thread: the device failed under a write, with `error` (0 when the
    // wait for room just ended in a hang-up); the read thread reports.
    void signalLoss(int error);
    // The errno the write thread gave with signalLoss(), 0 before or without one.
    int lossError() const;
    bool closing() const;

private:
    bool hangupPosted_ = false;     // read thread only
    std::atomic<int> lossError_{0}; // written before the loss signal, read after it
};

// The errno behind a wait on the device that ended in something other than
// readiness: poll's own when it failed (`ready` < 0; call at once, errno is
// read), EBADF for a descriptor that is not open (POLLNVAL), and 0 for a
// plain hang-up or error flag, which carries no errno.
int pollError(int ready, short revents);

// The words for the errno that ended a session: the system's text, or
// "hang-up" when the device went without giving one.
std::string hangupText(int error);

// poll() until something is ready or the deadline passes (none: no limit).
// Retries on EINTR with the time that is left, so a signal never stretches
// the wait. Returns poll()'s result: 0 when the deadline passed.
int pollUntil(pollfd* fds, nfds_t count, std::optional<Clock::time_point> deadline);

// Adds one to an eventfd counter.
void notify(int eventFd);

} // namespace rxserial
