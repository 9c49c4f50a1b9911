#include "base/MainThreadQueue.h"

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "base/Exception.h"

namespace qr {

void TEvent::Set() {
    std::lock_guard<TSlimLock> lock(FLock);
    FSet = true;
    // Notified under the lock: a waiter may destroy the event as soon as it
    // sees it set, which it cannot do before the lock is released.
    FChanged.NotifyAll();
}

void TEvent::Reset() {
    std::lock_guard<TSlimLock> lock(FLock);
    FSet = false;
}

bool TEvent::IsSet() const {
    std::lock_guard<TSlimLock> lock(FLock);
    return FSet;
}

void TEvent::Wait() {
    std::unique_lock<TSlimLock> lock(FLock);
    FChanged.Wait(lock, [this] { return FSet; });
}

bool TEvent::WaitFor(std::chrono::milliseconds timeout) {
    std::unique_lock<TSlimLock> lock(FLock);
    return FChanged.WaitUntil(lock, TSlimCondition::TClock::now() + timeout, [this] { return FSet; });
}

TMainThreadQueue::TMainThreadQueue() : FMainThread(std::this_thread::get_id()) {}

TMainThreadQueue::~TMainThreadQueue() { BeginShutdown(); }

void TMainThreadQueue::SetWakeUp(TWakeUp wakeUp) {
    std::lock_guard<TSlimLock> lock(FLock);
    FWakeUp = std::move(wakeUp);
}

void TMainThreadQueue::SetErrorHandler(TErrorHandler handler) {
    std::lock_guard<TSlimLock> lock(FLock);
    FErrorHandler = std::move(handler);
}

std::exception_ptr TMainThreadQueue::RunOne(const TOperation& operation) {
    try {
        operation();
    } catch (const EAbort&) {
        return std::current_exception();
    } catch (...) {
        TErrorHandler handler;
        {
            std::lock_guard<TSlimLock> lock(FLock);
            handler = FErrorHandler;
        }
        try {
            if (handler) handler(std::current_exception());
        } catch (...) {
            // The handler is the last place an error can go; its own failure
            // must not keep the waiting thread blocked.
        }
    }
    return nullptr;
}

void TMainThreadQueue::SetAfterRun(TOperation afterRun) {
    std::lock_guard<TSlimLock> lock(FLock);
    FAfterRun = std::move(afterRun);
}

void TMainThreadQueue::RunAfterRun() {
    TOperation afterRun;
    {
        std::lock_guard<TSlimLock> lock(FLock);
        if (FShutdown) return;
        afterRun = FAfterRun;
    }
    if (!afterRun) return;
    // Nobody waits for it, so there is nobody to abort either.
    RunOne(afterRun);
}

void TMainThreadQueue::Execute(const TOperation& operation) {
    ExecuteAll(std::span<const TOperation>(&operation, 1));
}

void TMainThreadQueue::ExecuteAll(std::span<const TOperation> operations) {
    if (operations.empty()) return;
    if (IsMainThread()) {
        // Waiting here would wait for ourselves.
        std::exception_ptr aborted;
        for (const TOperation& operation : operations) {
            if (ShuttingDown()) break;
            if ((aborted = RunOne(operation))) break;
        }
        RunAfterRun();
        if (aborted) std::rethrow_exception(aborted);
        return;
    }
    // Each request has its own completion: a nested loop or teardown may
    // complete them separately.
    std::unique_ptr<TRequest[]> requests(new TRequest[operations.size()]);
    for (size_t i = 0; i < operations.size(); ++i) {
        requests[i].Operation = &operations[i];
        requests[i].First = &requests[0];
    }
    TWakeUp wakeUp;
    {
        std::lock_guard<TSlimLock> lock(FLock);
        if (FShutdown) return;
        // Queued together, so another thread's requests cannot come in
        // between, and a run that begins later takes all of them.
        for (size_t i = 0; i < operations.size(); ++i) FPending.push_back(&requests[i]);
        FSignal.NotifyAll();
        // One wake-up per run: a run that has not begun yet takes these
        // requests too.
        if (!FWokenUp) {
            FWokenUp = true;
            wakeUp = FWakeUp;
        }
    }
    if (wakeUp) wakeUp();
    // Each wait ends when the main thread has run that request or teardown
    // has released it; the owner keeps running the queue until then. They
    // complete in order, so after the first wait the others rarely sleep.
    for (size_t i = 0; i < operations.size(); ++i) requests[i].Done.Wait();
    // Set before the last Done, on the main thread; teardown leaves it null.
    if (requests[0].Aborted) std::rethrow_exception(requests[0].Aborted);
}

void TMainThreadQueue::SetStopCheck(std::function<bool()> check) {
    std::lock_guard<TSlimLock> lock(FLock);
    FStopCheck = std::move(check);
}

bool TMainThreadQueue::RunQueue() {
    size_t budget;
    std::function<bool()> stopCheck;
    {
        std::lock_guard<TSlimLock> lock(FLock);
        budget = FPending.size();  // a steady stream must not keep the caller here
        stopCheck = FStopCheck;
        // Requests queued from now on are not in this run's budget: the
        // first of them wakes the owner again.
        FWokenUp = false;
    }
    bool ran = false;
    for (; budget > 0; --budget) {
        // Each operation can take a while (a write to a slow reader), so a
        // stop request is looked for before every one; teardown releases
        // the rest.
        if (stopCheck && stopCheck()) BeginShutdown();
        TRequest* request;
        bool skipped;
        {
            std::lock_guard<TSlimLock> lock(FLock);
            if (FPending.empty()) break;  // run by a nested loop, or released by teardown
            request = FPending.front();
            FPending.pop_front();
            // An earlier request of its batch was aborted: its thread goes
            // no further than that one.
            skipped = request->First->Aborted != nullptr;
            if (!skipped) FRunning.push_back(request);
        }
        if (skipped) {
            request->Done.Set();
            continue;
        }
        std::exception_ptr aborted = RunOne(*request->Operation);
        ran = true;
        std::lock_guard<TSlimLock> lock(FLock);
        auto it = std::find(FRunning.begin(), FRunning.end(), request);
        // Not there: teardown released it meanwhile and its waiter may have
        // gone with it, so it is not touched again.
        if (it == FRunning.end()) continue;
        FRunning.erase(it);
        // Its batch's first request is still waited for: the waiter waits
        // for this one after it.
        if (aborted && !request->First->Aborted) request->First->Aborted = aborted;
        request->Done.Set();
    }
    if (ran) RunAfterRun();
    return ran;
}

bool TMainThreadQueue::HasPending() const {
    std::lock_guard<TSlimLock> lock(FLock);
    return !FPending.empty();
}

size_t TMainThreadQueue::PendingCount() const {
    std::lock_guard<TSlimLock> lock(FLock);
    return FPending.size();
}

void TMainThreadQueue::ServiceFor(std::chrono::milliseconds period) {
    auto deadline = std::chrono::steady_clock::now() + period;
    for (;;) {
        RunQueue();
        if (std::chrono::steady_clock::now() >= deadline) return;
        std::unique_lock<TSlimLock> lock(FLock);
        if (!FSignal.WaitUntil(lock, deadline, [this] { return !FPending.empty(); })) return;
    }
}

void TMainThreadQueue::WaitServicing(const std::function<bool()>& done) {
    for (;;) {
        RunQueue();
        if (done()) return;
        std::unique_lock<TSlimLock> lock(FLock);
        // Ends when a request arrives or Poke() reports a change of `done`;
        // a Poke() made since the last look is kept in FPoked.
        FSignal.Wait(lock, [this] { return !FPending.empty() || FPoked; });
        FPoked = false;
    }
}

void TMainThreadQueue::Poke() {
    std::lock_guard<TSlimLock> lock(FLock);
    FPoked = true;
    FSignal.NotifyAll();
}

void TMainThreadQueue::BeginShutdown() {
    std::deque<TRequest*> released;
    {
        std::lock_guard<TSlimLock> lock(FLock);
        FShutdown = true;
        released.swap(FPending);
        released.insert(released.end(), FRunning.begin(), FRunning.end());
        FRunning.clear();
    }
    for (TRequest* request : released) request->Done.Set();
}

bool TMainThreadQueue::ShuttingDown() const {
    std::lock_guard<TSlimLock> lock(FLock);
    return FShutdown;
}

void TIdSync::Synchronize() {
    FQueue.Execute([this] { RunInMainThread(); });
}

}  // namespace qr
