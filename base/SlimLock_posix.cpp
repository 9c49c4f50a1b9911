#include "base/SlimLock.h"

namespace qr {

void TSlimLock::lock() { FMutex.lock(); }

void TSlimLock::unlock() { FMutex.unlock(); }

// The caller's lock holds FMutex; the standard condition variable wants it
// as a lock of its own type for the time of the wait.
void TSlimCondition::Wait(std::unique_lock<TSlimLock>& lock) {
    std::unique_lock<std::mutex> inner(lock.mutex()->FMutex, std::adopt_lock);
    FCondition.wait(inner);
    inner.release();
}

bool TSlimCondition::WaitUntil(std::unique_lock<TSlimLock>& lock, TClock::time_point deadline) {
    std::unique_lock<std::mutex> inner(lock.mutex()->FMutex, std::adopt_lock);
    bool inTime = FCondition.wait_until(inner, deadline) == std::cv_status::no_timeout;
    inner.release();
    return inTime;
}

void TSlimCondition::NotifyAll() { FCondition.notify_all(); }

}  // namespace qr
