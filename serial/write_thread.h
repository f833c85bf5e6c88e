#pragma once

#include "serial/worker_thread.h"

#include <QByteArray>

#include <deque>
#include <mutex>

namespace rxserial {
struct CommSession;
}

// The only writer of the device. Takes blocks from its own queue in order and
// writes each one completely, waiting on the close signal whenever it waits
// for the queue or for room in the device.
class TWriteThread : public TWorkerThread {
public:
    // Throws std::system_error when the wake-up eventfd cannot be created.
    explicit TWriteThread(rxserial::CommSession& session);
    ~TWriteThread() override;

    // Main thread: queue a block; false once the thread has ended.
    bool enqueue(QByteArray block);

protected:
    void run() override;
    const char* threadName() const override { return "rx460k-write"; }

private:
    bool takeNext(QByteArray& block); // false: queue empty (flag set)
    bool writeAll(const QByteArray& block);
    void finish();

    rxserial::CommSession& session_;
    int wake_ = -1; // eventfd: readable while blocks may be waiting

    std::mutex mutex_;
    std::deque<QByteArray> queue_; // guarded by mutex_
    bool accepting_ = true;        // guarded by mutex_
};
