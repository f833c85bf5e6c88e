#pragma once
// Posted events hand data from a worker thread to the main thread through
// Qt's event queue. Qt's own locking is not instrumented for
// ThreadSanitizer, so the hand-over is announced to it here: everything a
// worker did before posting happens before the main thread reads the event.
// Without ThreadSanitizer these compile to nothing.

#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);
#endif

namespace rxserial {

inline void handOver([[maybe_unused]] void* event) {
#if defined(__SANITIZE_THREAD__)
    __tsan_release(event);
#endif
}

inline void takeOver([[maybe_unused]] void* event) {
#if defined(__SANITIZE_THREAD__)
    __tsan_acquire(event);
#endif
}

} // namespace rxserial
