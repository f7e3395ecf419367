#pragma once

// A lock that the thread holding it may enter again. Every lock of the
// driver is of this kind: a settings dialog may run a message loop while the
// silo's lock is held, and host calls arriving on that same thread must not
// block on it.

#ifdef _WIN32
#include <windows.h>
#else
#include <pthread.h>
#endif

namespace qmx {

class TRecursiveLock {
public:
    TRecursiveLock();
    ~TRecursiveLock();
    TRecursiveLock(const TRecursiveLock&) = delete;
    TRecursiveLock& operator=(const TRecursiveLock&) = delete;

    void Enter();
    // Enters unless another thread holds the lock for all of `milliseconds`:
    // for a stop that must not wait on a thread blocked while holding it.
    bool TryEnterFor(unsigned milliseconds);
    void Leave();

private:
#ifdef _WIN32
    CRITICAL_SECTION FSection;
#else
    pthread_mutex_t FMutex;
#endif
};

class TLockGuard {
public:
    explicit TLockGuard(TRecursiveLock& lock) : FLock(lock) { FLock.Enter(); }
    ~TLockGuard() { FLock.Leave(); }
    TLockGuard(const TLockGuard&) = delete;
    TLockGuard& operator=(const TLockGuard&) = delete;

private:
    TRecursiveLock& FLock;
};

}  // namespace qmx
