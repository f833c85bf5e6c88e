#pragma once

#include <QObject>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

// The thread base of TReadThread and TWriteThread: a std::thread that is
// always joined before the object goes. Subclasses override run() only.
//
// Linux's default scheduler has no thread priorities for unprivileged
// programs; both threads spend their lives blocked in ppoll() and run as soon
// as they have something to do, so none are asked for.
class TWorkerThread : public QObject {
public:
    TWorkerThread() = default;
    TWorkerThread(const TWorkerThread&) = delete;
    TWorkerThread& operator=(const TWorkerThread&) = delete;
    ~TWorkerThread() override; // joins a thread that was not stopped

    // Throws std::system_error when no thread can be created.
    void start();
    // After the thread was told to end: waits up to `limit` for run() to
    // return and joins it. A thread still running then is a programming
    // error: qFatal() names it and aborts (never detached, never cancelled).
    void stop(std::chrono::milliseconds limit);

protected:
    virtual void run() = 0;
    // Name shown by ps and /proc (at most 15 characters).
    virtual const char* threadName() const = 0;

private:
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false; // guarded by mutex_
};
