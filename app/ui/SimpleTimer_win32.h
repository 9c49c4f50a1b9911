#pragma once
// A small interval timer; all timers share one hidden window that receives
// their WM_TIMER messages.
#include <windows.h>

#include <functional>

namespace qr {

class TSimpleTimer {
public:
    using TTickHandler = std::function<void(TSimpleTimer*)>;
    TSimpleTimer(unsigned intervalMs, TTickHandler handler);
    ~TSimpleTimer();
    TSimpleTimer(const TSimpleTimer&) = delete;
    TSimpleTimer& operator=(const TSimpleTimer&) = delete;

    // False for an interval of 0 or when the system refuses the timer.
    bool Start();
    void Stop() { StopTimer(true); }
    bool Running() const { return FRunning; }
    unsigned Interval() const { return FIntervalMs; }
    void SetInterval(unsigned ms);
    void SetTickHandler(TTickHandler handler);
    bool StopOnFire = false;

    // The shared handler's count of running timers (for tests).
    static int RunningCount();

private:
    friend class TSimpleTimerHandler;
    bool StopTimer(bool markStopped);

    UINT_PTR FTimerId;
    bool FRunning = false;
    unsigned FIntervalMs;
    TTickHandler FTickHandler;
};

}  // namespace qr
