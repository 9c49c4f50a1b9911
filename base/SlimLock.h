#pragma once
// A lock and a condition variable that cost no call into the kernel while
// nobody has to sleep. On Windows they are the system's slim reader/writer
// lock and condition variable, which need no handle (creating one costs
// nothing) and which Wine implements without its wineserver; the
// standard library's versions there go through kernel semaphores and
// events, each wait and wake-up a request to the wineserver. Elsewhere they
// are the standard library's. Both are BasicLockable for std::unique_lock.
#include <chrono>
#include <mutex>

#ifndef _WIN32
#include <condition_variable>
#endif

namespace qr {

class TSlimLock {
public:
    TSlimLock() = default;
    TSlimLock(const TSlimLock&) = delete;
    TSlimLock& operator=(const TSlimLock&) = delete;
    void lock();
    void unlock();

private:
    friend class TSlimCondition;
#ifdef _WIN32
    void* FState = nullptr;  // an SRWLOCK, initially unlocked
#else
    std::mutex FMutex;
#endif
};

class TSlimCondition {
public:
    using TClock = std::chrono::steady_clock;

    TSlimCondition() = default;
    TSlimCondition(const TSlimCondition&) = delete;
    TSlimCondition& operator=(const TSlimCondition&) = delete;

    // `lock` holds the lock; it is released while waiting. Either may end
    // without a notification, so callers wait for a condition.
    void Wait(std::unique_lock<TSlimLock>& lock);
    // False once `deadline` has passed.
    bool WaitUntil(std::unique_lock<TSlimLock>& lock, TClock::time_point deadline);
    void NotifyAll();

    template <class TPredicate>
    void Wait(std::unique_lock<TSlimLock>& lock, TPredicate done) {
        while (!done()) Wait(lock);
    }
    template <class TPredicate>
    bool WaitUntil(std::unique_lock<TSlimLock>& lock, TClock::time_point deadline, TPredicate done) {
        while (!done())
            if (!WaitUntil(lock, deadline)) return done();
        return true;
    }

private:
#ifdef _WIN32
    void* FState = nullptr;  // a CONDITION_VARIABLE, initially without waiters
#else
    std::condition_variable FCondition;
#endif
};

}  // namespace qr
