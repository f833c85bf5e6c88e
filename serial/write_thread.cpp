#include "serial/write_thread.h"

#include "serial/comm_session.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

using namespace rxserial;

// The write time-outs have no counterpart here: a block is always continued
// until it is out (or the port closes), so a write deadline would only split
// the waiting, never change what is written.

TWriteThread::TWriteThread(CommSession& session)
    : session_(session), wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (wake_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

TWriteThread::~TWriteThread() {
    ::close(wake_);
}

bool TWriteThread::enqueue(QByteArray block) {
    {
        std::lock_guard lock(mutex_);
        if (!accepting_) return false;
        queue_.push_back(std::move(block));
        // Cleared under the lock the thread sets it under, so "empty" can
        // never be stored after a block was queued and before it is written.
        session_.sendQueueEmpty->store(false);
    }
    const std::uint64_t one = 1;
    // Cannot fail short of a counter near 2^64; the thread drains it.
    [[maybe_unused]] const ssize_t put = ::write(wake_, &one, sizeof one);
    return true;
}

bool TWriteThread::takeNext(QByteArray& block) {
    std::lock_guard lock(mutex_);
    if (queue_.empty()) {
        session_.sendQueueEmpty->store(true);
        return false;
    }
    block = std::move(queue_.front());
    queue_.pop_front();
    return true;
}

void TWriteThread::run() {
    CommSession& s = session_;
    bool emptyReported = false;
    for (;;) {
        QByteArray block;
        if (!takeNext(block)) {
            if (!emptyReported) {
                s.post(Notice::SendDataEmpty);
                emptyReported = true;
            }
            // Watch the device too (no events asked: only hang-up and error
            // come back), so a vanished device ends this thread while idle.
            pollfd fds[3] = {{s.closeSignal, POLLIN, 0}, {wake_, POLLIN, 0}, {s.device, 0, 0}};
            const int ready = pollUntil(fds, 3, std::nullopt);
            if (ready > 0 && fds[0].revents != 0) break;
            if (ready < 0 || fds[2].revents != 0) {
                s.signalLoss(pollError(ready, fds[2].revents));
                break;
            }
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t got = ::read(wake_, &count, sizeof count);
            continue;
        }
        if (s.closing() || !writeAll(block)) break;
        emptyReported = false;
    }
    finish();
}

bool TWriteThread::writeAll(const QByteArray& block) {
    CommSession& s = session_;
    qsizetype done = 0;
    while (done < block.size()) {
        const ssize_t put = ::write(s.device, block.constData() + done,
                                    static_cast<std::size_t>(block.size() - done));
        if (put > 0) {
            done += put;
            continue;
        }
        int error = put < 0 ? errno : 0;
        if (error == EINTR) continue;
        if (error == EAGAIN) {
            // The device's output buffer is full: wait for room or for close.
            pollfd fds[2] = {{s.closeSignal, POLLIN, 0}, {s.device, POLLOUT, 0}};
            const int ready = pollUntil(fds, 2, std::nullopt);
            if (ready > 0 && fds[0].revents != 0) return false;
            if (ready > 0 && (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) == 0) continue;
            error = pollError(ready, fds[1].revents);
        }
        // EIO (the device went), a hang-up, or anything else: the read thread
        // reports it, after the bytes it has already read; this thread ends
        // rather than retry a device that will not take bytes again.
        s.signalLoss(error);
        return false;
    }
    return true;
}

void TWriteThread::finish() {
    {
        std::lock_guard lock(mutex_);
        accepting_ = false;
        queue_.clear();
    }
    session_.sendQueueEmpty->store(true);
}
