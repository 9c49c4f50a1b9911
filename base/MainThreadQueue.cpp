#include "base/MainThreadQueue.h"

#include <algorithm>
#include <vector>

namespace qr {

void TEvent::Set() {
    std::lock_guard<std::mutex> lock(FLock);
    FSet = true;
    // Notified under the lock: a waiter may destroy the event as soon as it
    // sees it set, which it cannot do before the lock is released.
    FChanged.notify_all();
}

void TEvent::Reset() {
    std::lock_guard<std::mutex> lock(FLock);
    FSet = false;
}

bool TEvent::IsSet() const {
    std::lock_guard<std::mutex> lock(FLock);
    return FSet;
}

void TEvent::Wait() {
    std::unique_lock<std::mutex> lock(FLock);
    FChanged.wait(lock, [this] { return FSet; });
}

bool TEvent::WaitFor(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(FLock);
    return FChanged.wait_for(lock, timeout, [this] { return FSet; });
}

TMainThreadQueue::TMainThreadQueue() : FMainThread(std::this_thread::get_id()) {}

TMainThreadQueue::~TMainThreadQueue() { BeginShutdown(); }

void TMainThreadQueue::SetWakeUp(TWakeUp wakeUp) {
    std::lock_guard<std::mutex> lock(FLock);
    FWakeUp = std::move(wakeUp);
}

void TMainThreadQueue::SetErrorHandler(TErrorHandler handler) {
    std::lock_guard<std::mutex> lock(FLock);
    FErrorHandler = std::move(handler);
}

void TMainThreadQueue::RunOne(TRequest& request) {
    try {
        (*request.Operation)();
    } catch (...) {
        TErrorHandler handler;
        {
            std::lock_guard<std::mutex> lock(FLock);
            handler = FErrorHandler;
        }
        try {
            if (handler) handler(std::current_exception());
        } catch (...) {
            // The handler is the last place an error can go; its own failure
            // must not keep the waiting thread blocked.
        }
    }
}

void TMainThreadQueue::Execute(const TOperation& operation) {
    TRequest request{&operation, {}};
    if (IsMainThread()) {
        // Waiting here would wait for ourselves.
        if (!ShuttingDown()) RunOne(request);
        return;
    }
    TWakeUp wakeUp;
    {
        std::lock_guard<std::mutex> lock(FLock);
        if (FShutdown) return;
        FPending.push_back(&request);
        FSignal.notify_all();
        wakeUp = FWakeUp;
    }
    if (wakeUp) wakeUp();
    // Ends when the main thread has run the request or teardown has
    // released it; the owner keeps running the queue until then.
    request.Done.Wait();
}

void TMainThreadQueue::SetStopCheck(std::function<bool()> check) {
    std::lock_guard<std::mutex> lock(FLock);
    FStopCheck = std::move(check);
}

bool TMainThreadQueue::RunQueue() {
    size_t budget;
    std::function<bool()> stopCheck;
    {
        std::lock_guard<std::mutex> lock(FLock);
        budget = FPending.size();  // a steady stream must not keep the caller here
        stopCheck = FStopCheck;
    }
    bool ran = false;
    for (; budget > 0; --budget) {
        // Each operation can take a while (a write to a slow reader), so a
        // stop request is looked for before every one; teardown releases
        // the rest.
        if (stopCheck && stopCheck()) BeginShutdown();
        TRequest* request;
        {
            std::lock_guard<std::mutex> lock(FLock);
            if (FPending.empty()) break;  // run by a nested loop, or released by teardown
            request = FPending.front();
            FPending.pop_front();
            FRunning.push_back(request);
        }
        RunOne(*request);
        ran = true;
        std::lock_guard<std::mutex> lock(FLock);
        auto it = std::find(FRunning.begin(), FRunning.end(), request);
        // Not there: teardown released it meanwhile and its waiter may have
        // gone with it, so it is not touched again.
        if (it == FRunning.end()) continue;
        FRunning.erase(it);
        request->Done.Set();
    }
    return ran;
}

bool TMainThreadQueue::HasPending() const {
    std::lock_guard<std::mutex> lock(FLock);
    return !FPending.empty();
}

size_t TMainThreadQueue::PendingCount() const {
    std::lock_guard<std::mutex> lock(FLock);
    return FPending.size();
}

void TMainThreadQueue::ServiceFor(std::chrono::milliseconds period) {
    auto deadline = std::chrono::steady_clock::now() + period;
    for (;;) {
        RunQueue();
        if (std::chrono::steady_clock::now() >= deadline) return;
        std::unique_lock<std::mutex> lock(FLock);
        if (!FSignal.wait_until(lock, deadline, [this] { return !FPending.empty(); })) return;
    }
}

void TMainThreadQueue::WaitServicing(const std::function<bool()>& done) {
    for (;;) {
        RunQueue();
        if (done()) return;
        std::unique_lock<std::mutex> lock(FLock);
        // Ends when a request arrives or Poke() reports a change of `done`;
        // a Poke() made since the last look is kept in FPoked.
        FSignal.wait(lock, [this] { return !FPending.empty() || FPoked; });
        FPoked = false;
    }
}

void TMainThreadQueue::Poke() {
    std::lock_guard<std::mutex> lock(FLock);
    FPoked = true;
    FSignal.notify_all();
}

void TMainThreadQueue::BeginShutdown() {
    std::deque<TRequest*> released;
    {
        std::lock_guard<std::mutex> lock(FLock);
        FShutdown = true;
        released.swap(FPending);
        released.insert(released.end(), FRunning.begin(), FRunning.end());
        FRunning.clear();
    }
    for (TRequest* request : released) request->Done.Set();
}

bool TMainThreadQueue::ShuttingDown() const {
    std::lock_guard<std::mutex> lock(FLock);
    return FShutdown;
}

void TIdSync::Synchronize() {
    FQueue.Execute([this] { RunInMainThread(); });
}

}  // namespace qr
