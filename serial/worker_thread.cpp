#include "serial/worker_thread.h"

#include <QtGlobal>

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
        // Every wait in both threads also waits for the close signal, so this
        // is a bug in this program, and there is no safe way on: a detached
        // thread would go on using the descriptors and the component we are
        // about to free, and a cancelled one would unwind through locks and
        // Qt containers it holds. Stop here, loudly, with the culprit's name;
        // the core dump keeps its stack.
        qFatal("rx460k: serial worker thread \"%s\" did not end within %lld ms of the close "
               "signal",
               threadName(), static_cast<long long>(limit.count()));
    }
    lock.unlock();
    thread_.join();
}
