#include "serial/read_thread.h"

#include "serial/comm_session.h"

#include <linux/serial.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>

using namespace rxserial;

namespace {

// Line errors and modem-line changes, from the driver's interrupt counters.
//
// Linux offers no notification of either that poll() can wait on: TIOCMIWAIT
// blocks inside the ioctl (and pseudo-terminals and many USB adapters do not
// have it), so it cannot share a wait with the close signal. The counters
// (TIOCGICOUNT) are compared whenever bytes arrive instead: errors arrive with
// the bytes they spoil, while a carrier or ring change on a quiet line is
// reported with the next received bytes. A device without the counters (a
// pseudo-terminal: ENOTTY) reports neither.
class LineStatus {
public:
    explicit LineStatus(int fd) : fd_(fd) { supported_ = ::ioctl(fd_, TIOCGICOUNT, &last_) == 0; }

    void check(CommSession& session) {
        serial_icounter_struct now{};
        if (!supported_ || ::ioctl(fd_, TIOCGICOUNT, &now) != 0) return;

        std::uint32_t errors = 0;
        if (now.buf_overrun != last_.buf_overrun) errors |= TComm::ErrorReceiveOverflow;
        if (now.overrun != last_.overrun) errors |= TComm::ErrorOverrun;
        if (now.parity != last_.parity) errors |= TComm::ErrorParity;
        if (now.frame != last_.frame) errors |= TComm::ErrorFraming;
        if (now.brk != last_.brk) errors |= TComm::ErrorBreak;
        std::uint32_t modem = 0;
        if (now.dcd != last_.dcd) modem |= TComm::ModemCarrierDetect;
        if (now.rng != last_.rng) modem |= TComm::ModemRing;
        last_ = now;

        if (errors != 0) session.post(Notice::ReceiveError, {}, errors);
        if (modem != 0) session.post(Notice::ModemStateChange, {}, modem);
    }

private:
    int fd_;
    bool supported_ = false;
    serial_icounter_struct last_{};
};

// When the chunk being collected is due, or none while it is empty. An
// interval of 0 sets no quiet-line limit (the chunk then ends when full or at
// the total deadline); the total deadline counts from the chunk's first byte.
std::optional<Clock::time_point> chunkDeadline(const CommSession& s, Clock::time_point first,
                                               Clock::time_point last) {
    using std::chrono::milliseconds;
    std::optional<Clock::time_point> due;
    if (const int interval = s.readInterval.load(); interval > 0)
        due = last + milliseconds(interval);
    const long long total =
        static_cast<long long>(s.readTotalMultiplier.load()) * TReadThread::ChunkSize +
        s.readTotalConstant.load();
    if (total > 0) {
        const auto totalDue = first + milliseconds(total);
        due = due ? std::min(*due, totalDue) : totalDue;
    }
    return due;
}

std::size_t dropNulls(char* bytes, std::size_t n) {
    return static_cast<std::size_t>(std::remove(bytes, bytes + n, '\0') - bytes);
}

// The errno the hang-up reports. `own` is the one this thread met, 0 after
// end of file or a bare hang-up flag; then the write thread's stands in, and
// failing that the device is asked for its settings: a terminal that has been
// hung up (pty master closed, USB adapter unplugged) reads as end of file but
// answers every request with EIO, the errno that says it has gone.
int lossCause(const CommSession& s, int own) {
    if (own != 0) return own;
    if (const int written = s.lossError(); written != 0) return written;
    termios t{};
    return ::tcgetattr(s.device, &t) == 0 ? 0 : errno;
}

} // namespace

void TReadThread::run() {
    CommSession& s = session_;
    LineStatus lineStatus(s.device);
    std::array<char, ChunkSize> chunk{};
    std::size_t filled = 0;
    Clock::time_point first{};
    Clock::time_point last{};

    const auto deliver = [&] {
        if (filled == 0) return;
        s.post(Notice::ReceiveData, QByteArray(chunk.data(), static_cast<qsizetype>(filled)));
        filled = 0;
    };
    // What was read before the device went is delivered ahead of the hang-up.
    const auto hangUp = [&](int own) {
        const int cause = lossCause(s, own);
        deliver();
        s.postHangup(cause);
    };

    for (;;) {
        pollfd fds[3] = {
            {s.closeSignal, POLLIN, 0}, {s.device, POLLIN, 0}, {s.lossSignal, POLLIN, 0}};
        const auto due = filled > 0 ? chunkDeadline(s, first, last) : std::nullopt;
        const int ready = pollUntil(fds, 3, due);
        if (ready < 0) {
            hangUp(pollError(ready, 0));
            break;
        }
        if (fds[0].revents != 0) break; // ClosePort
        if (ready == 0) {               // the line has been quiet long enough
            deliver();
            continue;
        }
        const short ev = fds[1].revents;
        // Nothing from the device but the loss signal: the write thread met
        // a dead device while this side has nothing left to read.
        if (ev == 0 || (ev & POLLNVAL) != 0) {
            hangUp(pollError(ready, ev));
            break;
        }

        const ssize_t got = ::read(s.device, chunk.data() + filled, ChunkSize - filled);
        if (got > 0) {
            s.bytesRead.fetch_add(static_cast<std::uint64_t>(got));
            std::size_t kept = static_cast<std::size_t>(got);
            if (s.ignoreNullChar.load()) kept = dropNulls(chunk.data() + filled, kept);
            if (kept == 0) continue;
            last = Clock::now();
            if (filled == 0) first = last;
            filled += kept;
            lineStatus.check(s);
            // A negative interval (0xFFFFFFFF as a 32-bit value) asks for the
            // bytes as soon as they are there.
            if (filled == ChunkSize || s.readInterval.load() < 0) deliver();
            continue;
        }
        const int error = got < 0 ? errno : 0;
        if (error == EINTR) continue;
        if (error == EAGAIN && (ev & (POLLHUP | POLLERR)) == 0) continue;
        // End of file, EIO, or a hang-up with nothing left to read: the far
        // side has gone (pty master closed, USB adapter unplugged). The chunk
        // collected so far goes out at once, ahead of the hang-up; this
        // thread then ends, so a device that stays "readable" for ever after
        // a hang-up costs no CPU. EAGAIN only says there was nothing to read.
        hangUp(error == EAGAIN ? 0 : error);
        break;
    }
}
