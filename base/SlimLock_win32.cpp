#include <windows.h>

#include <algorithm>

#include "base/SlimLock.h"

namespace qr {

static_assert(sizeof(SRWLOCK) == sizeof(void*) && sizeof(CONDITION_VARIABLE) == sizeof(void*));

namespace {

PSRWLOCK Srw(void*& state) { return reinterpret_cast<PSRWLOCK>(&state); }
PCONDITION_VARIABLE Cv(void*& state) { return reinterpret_cast<PCONDITION_VARIABLE>(&state); }

}  // namespace

void TSlimLock::lock() { AcquireSRWLockExclusive(Srw(FState)); }

void TSlimLock::unlock() { ReleaseSRWLockExclusive(Srw(FState)); }

void TSlimCondition::Wait(std::unique_lock<TSlimLock>& lock) {
    SleepConditionVariableSRW(Cv(FState), Srw(lock.mutex()->FState), INFINITE, 0);
}

bool TSlimCondition::WaitUntil(std::unique_lock<TSlimLock>& lock, TClock::time_point deadline) {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - TClock::now());
    if (left.count() <= 0) return false;
    // Below INFINITE: a longer wait is a wait in several goes.
    DWORD ms = DWORD(std::min<long long>(left.count(), INFINITE - 1));
    SleepConditionVariableSRW(Cv(FState), Srw(lock.mutex()->FState), ms, 0);
    return TClock::now() < deadline;
}

void TSlimCondition::NotifyAll() { WakeAllConditionVariable(Cv(FState)); }

}  // namespace qr
