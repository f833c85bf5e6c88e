#include "serial/worker_thread.h"

#include <pthread.h>

TWorkerThread::~TWorkerThread() {
    if (thread_.joinable()) thread_.join();
}

void TWorkerThread::start() {
    thread_ = std::thread([this] {
        ::pthread_setname_np(::pthread_self(), threadName());
        run();
        const std::lock_guard lock(mutex_);
        finished_ = true;
        done_.notify_all();
    });
}

void TWorkerThread::stop(std::chrono::milliseconds limit) {
    if (!thread_.joinable()) return;
    std::unique_lock lock(mutex_);
    if (!done_.wait_for(lock, limit, [this] { return finished_; })) {
        // Not expected: every wait in both threads also waits for the close
        // signal. ppoll() is a cancellation point.
        ::pthread_cancel(thread_.native_handle());
    }
    lock.unlock();
    thread_.join();
}
