#pragma once
// The main-thread request queue: other threads run an operation on the main
// thread and wait for it. Requests run one at a time, first in, first out,
// each exactly once. The queue lock is held only to add or take requests,
// never while an operation runs.
//
// Requests are taken one at a time: when an operation's error opens a
// nested loop (an error box, the crash dialog) that services the queue, the
// requests queued before and after it still run in the order queued.
//
// Wake-ups: the owner's wake-up is called for the first request queued
// after the main thread last began a run of the queue, not for every one;
// the run it causes takes every request queued until it begins. A steady
// stream of hand-offs thus costs one wake-up per run, not one per request.
//
// Teardown: once BeginShutdown() has been called (the main window calls it
// when its destruction begins), pending and new requests complete at once
// without running their operation, and so does a request whose operation
// (or its error's handling) is still on the main thread's stack, as when
// the logon session ends while an error box is open. A connection thread waiting for a
// hand-off is released, so the server's deactivation, which waits for every
// connection thread, cannot hang on it, and no operation runs against
// objects that are being destroyed.
#include <chrono>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "base/SlimLock.h"

namespace qr {

// A manual-reset event. It holds no system handle: one per request costs
// nothing to create, and waiting on it needs no call into the kernel while
// it is already set.
class TEvent {
public:
    void Set();
    void Reset();
    bool IsSet() const;
    // Waits until the event is set; see the callers for why each wait ends.
    void Wait();
    bool WaitFor(std::chrono::milliseconds timeout);

private:
    mutable TSlimLock FLock;
    TSlimCondition FChanged;
    bool FSet = false;
};

class TMainThreadQueue {
public:
    using TOperation = std::function<void()>;
    using TErrorHandler = std::function<void(std::exception_ptr)>;
    using TWakeUp = std::function<void()>;

    // The thread that constructs the queue is its main thread.
    TMainThreadQueue();
    // Releases every waiter (as BeginShutdown).
    ~TMainThreadQueue();
    TMainThreadQueue(const TMainThreadQueue&) = delete;
    TMainThreadQueue& operator=(const TMainThreadQueue&) = delete;

    // Called after a request has been queued, on the queuing thread; the
    // owner uses it to wake its loop (the window program posts WM_NULL).
    void SetWakeUp(TWakeUp wakeUp);
    // Receives an error raised by an operation, on the main thread; the
    // waiting thread is released as if the operation had succeeded. Without
    // a handler such errors are dropped. An EAbort (the silent error) is no
    // failure: it goes back to the caller of Execute instead.
    void SetErrorHandler(TErrorHandler handler);

    bool IsMainThread() const { return std::this_thread::get_id() == FMainThread; }

    // Runs `operation` on the main thread and returns when it has run (or
    // when teardown released it). On the main thread itself it runs at once.
    // An EAbort that the operation raises is raised again here.
    void Execute(const TOperation& operation);
    // Runs several operations as if each had been passed to Execute in turn
    // from this thread, but queues them together: one wake-up for all of
    // them, and the caller sleeps once instead of once per operation.
    // Returns when the last has run (or teardown released them). After an
    // EAbort the rest do not run, and it is raised here.
    void ExecuteAll(std::span<const TOperation> operations);

    // Main thread, at the end of every run of the queue that ran a request,
    // once each of them has released its waiter (and after a direct call of
    // Execute on the main thread): work that the requests leave for later
    // and that nobody waits for, done once per run rather than once per
    // request. Its error goes to the error handler like an operation's. Not
    // called once teardown began.
    void SetAfterRun(TOperation afterRun);

    // Asked on the main thread before each request runs; once it answers
    // true, teardown begins (BeginShutdown) and the rest are released
    // unrun. For an owner whose stop request can arrive while the main
    // thread works through a long queue.
    void SetStopCheck(std::function<bool()> check);

    // Main thread: runs the requests queued so far, one at a time in order
    // (requests queued meanwhile wait for the next call); true if any ran.
    bool RunQueue();
    bool HasPending() const;
    size_t PendingCount() const;

    // Main thread: runs requests as they arrive until `period` has passed.
    void ServiceFor(std::chrono::milliseconds period);
    // Main thread: runs requests as they arrive until `done()` is true.
    // `done` is checked again whenever Poke() is called, so whoever makes it
    // true must call Poke() afterwards.
    void WaitServicing(const std::function<bool()>& done);
    // Any thread: wakes a WaitServicing so that it checks its condition.
    void Poke();

    void BeginShutdown();
    bool ShuttingDown() const;

private:
    struct TRequest {
        const TOperation* Operation = nullptr;
        TEvent Done;  // created for this request, gone after it
        // The first request of its batch, which carries the batch's EAbort
        // (written and read on the main thread under FLock, read by the
        // waiter once its requests are done).
        TRequest* First = this;
        std::exception_ptr Aborted;
    };

    // Returns the operation's EAbort; other errors go to the handler.
    std::exception_ptr RunOne(const TOperation& operation);
    void RunAfterRun();

    const std::thread::id FMainThread;
    mutable TSlimLock FLock;
    TSlimCondition FSignal;  // queue not empty, or poked
    std::deque<TRequest*> FPending;
    // Taken from FPending and not yet completed: more than one when a
    // nested loop runs the queue.
    std::vector<TRequest*> FRunning;
    bool FPoked = false;
    bool FShutdown = false;
    // A wake-up was called since the main thread last began a run.
    bool FWokenUp = false;
    TWakeUp FWakeUp;
    TOperation FAfterRun;
    TErrorHandler FErrorHandler;
    std::function<bool()> FStopCheck;
};

// Base of blocking main-thread calls: a connection thread derives, fills
// in its data and calls Synchronize(), which returns once the main thread
// has run RunInMainThread().
class TIdSync {
public:
    explicit TIdSync(TMainThreadQueue& queue) : FQueue(queue) {}
    virtual ~TIdSync() = default;
    void Synchronize();

protected:
    virtual void RunInMainThread() = 0;

private:
    TMainThreadQueue& FQueue;
};

}  // namespace qr
