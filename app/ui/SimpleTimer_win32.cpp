#include "app/ui/SimpleTimer_win32.h"

#include <map>

#include "app/ui/HiddenWindow_win32.h"

namespace qr {

class TSimpleTimerHandler {
public:
    TSimpleTimerHandler()
        : Window(L"TSimpleTimerHandler",
                 [this](HWND h, UINT m, WPARAM w, LPARAM l) { return Proc(h, m, w, l); }) {}

    LRESULT Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        if (msg != WM_TIMER) return DefWindowProcW(hwnd, msg, wParam, lParam);
        auto it = Timers.find(wParam);
        if (it != Timers.end()) {
            TSimpleTimer* timer = it->second;
            if (timer->StopOnFire) timer->StopTimer(true);
            if (timer->FTickHandler) timer->FTickHandler(timer);
        }
        return 0;
    }

    int UserCount = 0;
    int RunningCount = 0;
    THiddenWindow Window;
    std::map<UINT_PTR, TSimpleTimer*> Timers;
};

namespace {
TSimpleTimerHandler* gHandler = nullptr;
UINT_PTR gNextId = 1;

TSimpleTimerHandler& Acquire() {
    if (!gHandler) gHandler = new TSimpleTimerHandler;
    ++gHandler->UserCount;
    return *gHandler;
}

void Release() {
    if (!gHandler) return;
    if (gHandler->UserCount > 0) --gHandler->UserCount;
    if (gHandler->UserCount == 0) {
        delete gHandler;
        gHandler = nullptr;
    }
}
}  // namespace

TSimpleTimer::TSimpleTimer(unsigned intervalMs, TTickHandler handler)
    : FTimerId(gNextId++), FIntervalMs(intervalMs), FTickHandler(std::move(handler)) {
    Acquire().Timers[FTimerId] = this;
}

TSimpleTimer::~TSimpleTimer() {
    if (FRunning) StopTimer(true);
    if (gHandler) gHandler->Timers.erase(FTimerId);
    Release();
}

int TSimpleTimer::RunningCount() { return gHandler ? gHandler->RunningCount : 0; }

bool TSimpleTimer::Start() {
    if (FIntervalMs == 0) return false;
    if (FRunning) StopTimer(true);
    if (!SetTimer(gHandler->Window.Handle(), FTimerId, FIntervalMs, nullptr)) return false;
    FRunning = true;
    ++gHandler->RunningCount;
    return true;
}

bool TSimpleTimer::StopTimer(bool markStopped) {
    if (markStopped) FRunning = false;
    if (!KillTimer(gHandler->Window.Handle(), FTimerId)) return false;
    if (gHandler->RunningCount > 0) --gHandler->RunningCount;
    return true;
}

void TSimpleTimer::SetInterval(unsigned ms) {
    if (ms == FIntervalMs) return;
    FIntervalMs = ms;
    if (!FRunning) return;
    if (ms == 0)
        StopTimer(false);
    else
        Start();
}

void TSimpleTimer::SetTickHandler(TTickHandler handler) {
    FTickHandler = std::move(handler);
    if (!FTickHandler && FRunning) StopTimer(false);
}

}  // namespace qr
