#pragma once

#include "serial/worker_thread.h"

namespace rxserial {
struct CommSession;
}

// The only reader of the device. Waits on the close signal and the device
// together; collects bytes into chunks of at most 2048 that end when the line
// has been quiet for ReadIntervalTimeout ms, and posts each chunk to the
// component. Ends on the close signal, or, when the device fails or goes away
// (or the write thread signals that it has), delivers the chunk in hand,
// posts the hang-up notice and ends.
class TReadThread : public TWorkerThread {
public:
    static constexpr int ChunkSize = 2048;

    explicit TReadThread(rxserial::CommSession& session) : session_(session) {}

protected:
    void run() override;
    const char* threadName() const override { return "rx460k-read"; }

private:
    rxserial::CommSession& session_;
};
