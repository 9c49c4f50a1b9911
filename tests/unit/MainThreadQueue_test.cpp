// The main-thread request queue: order, exactly-once, errors, the lock not
// held while an operation runs, and teardown releasing waiters.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "base/Exception.h"
#include "base/MainThreadQueue.h"
#include "tests/unit/ServerTestWatchdog.h"

namespace qr {
namespace {

using test::kWait;
using test::TWatchdog;

// Runs the queue until `done`, within kWait.
bool ServiceUntil(TMainThreadQueue& q, const std::function<bool()>& done) {
    auto deadline = std::chrono::steady_clock::now() + kWait;
    for (;;) {
        q.RunQueue();
        if (done()) return true;
        if (std::chrono::steady_clock::now() > deadline) return false;
        q.ServiceFor(std::chrono::milliseconds(5));
    }
}

using test::WaitFor;

TEST(MainThreadQueue, RunsRequestsInQueueOrderOnTheMainThread) {
    TMainThreadQueue q;
    std::vector<int> order;  // main thread only
    std::vector<bool> onMain;
    std::vector<std::thread> threads;
    for (int i = 0; i < 5; ++i) {
        threads.emplace_back([&, i] {
            q.Execute([&, i] {
                order.push_back(i);
                onMain.push_back(q.IsMainThread());
            });
        });
        // Queue them one after another so the order is known.
        ASSERT_TRUE(WaitFor([&] { return q.PendingCount() == size_t(i) + 1; }));
    }
    EXPECT_TRUE(order.empty()) << "nothing runs until the main thread runs the queue";
    {
        TWatchdog watchdog("one run of the queue releasing every waiter");
        EXPECT_TRUE(q.RunQueue());
        for (auto& t : threads) t.join();
    }
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(onMain, std::vector<bool>(5, true));
    EXPECT_FALSE(q.RunQueue());
}

TEST(MainThreadQueue, EveryRequestRunsExactlyOnceWithItsOwnData) {
    TMainThreadQueue q;
    constexpr int kThreads = 8, kEach = 200;
    std::vector<std::vector<int>> seen(kThreads);  // main thread only
    std::atomic<int> finished{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) q.Execute([&, t, i] { seen[size_t(t)].push_back(i); });
            ++finished;
        });
    ASSERT_TRUE(ServiceUntil(q, [&] { return finished.load() == kThreads; }));
    for (auto& t : threads) t.join();
    std::vector<int> expected(kEach);
    for (int i = 0; i < kEach; ++i) expected[size_t(i)] = i;
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(seen[size_t(t)], expected) << "thread " << t;
}

TEST(MainThreadQueue, AnErrorGoesToTheHandlerAndTheWaiterGoesOn) {
    TMainThreadQueue q;
    std::vector<std::string> errors;
    q.SetErrorHandler([&](std::exception_ptr e) {
        try {
            std::rethrow_exception(e);
        } catch (const std::exception& x) {
            errors.push_back(x.what());
        }
    });
    std::atomic<int> returned{0};
    bool laterRan = false;
    std::thread t([&] {
        q.Execute([] { throw std::runtime_error("boom"); });
        ++returned;
        q.Execute([&] { laterRan = true; });
        ++returned;
    });
    ASSERT_TRUE(ServiceUntil(q, [&] { return returned.load() == 2; }));
    t.join();
    EXPECT_EQ(errors, std::vector<std::string>{"boom"});
    EXPECT_TRUE(laterRan);

    // A handler that fails itself still releases the waiter.
    q.SetErrorHandler([](std::exception_ptr) { throw std::logic_error("handler"); });
    std::atomic<bool> done{false};
    std::thread t2([&] {
        q.Execute([] { throw 42; });
        done = true;
    });
    ASSERT_TRUE(ServiceUntil(q, [&] { return done.load(); }));
    t2.join();
}

QR_DECLARE_EXCEPTION(EStepAborted, EAbort);

// The silent error is no failure of the main thread: the thread that asked
// for the call gets it back, also as a descendant, and in a batch the calls
// behind it do not run, as if each had been asked for in turn.
TEST(MainThreadQueue, AnAbortGoesBackToTheCallerInsteadOfTheHandler) {
    TMainThreadQueue q;
    int handled = 0;  // main thread only
    q.SetErrorHandler([&](std::exception_ptr) { ++handled; });
    std::vector<std::string> caught, ran;  // caught: the worker's, read after join
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        try {
            q.Execute([] { throw EAbort("Operation aborted"); });
        } catch (const EAbort& e) {
            caught.push_back(std::string("single: ") + e.ClassName() + " " + e.what());
        }
        std::vector<TMainThreadQueue::TOperation> batch{[&] { ran.push_back("first"); },
                                                        [] { throw EStepAborted("second"); },
                                                        [&] { ran.push_back("third"); }};
        try {
            q.ExecuteAll(batch);
        } catch (const EAbort& e) {
            caught.push_back(std::string("batch: ") + e.ClassName() + " " + e.what());
        }
        q.Execute([&] { ran.push_back("after"); });
        finished = true;
    });
    ASSERT_TRUE(ServiceUntil(q, [&] { return finished.load(); }));
    worker.join();
    EXPECT_EQ(caught,
              (std::vector<std::string>{"single: EAbort Operation aborted", "batch: EStepAborted second"}));
    EXPECT_EQ(ran, (std::vector<std::string>{"first", "after"}));
    EXPECT_EQ(handled, 0);

    // On the main thread itself the call runs at once and raises it there.
    EXPECT_THROW(q.Execute([] { throw EAbort("Operation aborted"); }), EAbort);
    EXPECT_EQ(handled, 0);
}

TEST(MainThreadQueue, TheLockIsNotHeldWhileAnOperationRuns) {
    TMainThreadQueue q;
    std::atomic<bool> secondQueued{false};
    std::atomic<int> returned{0};
    std::thread second;
    std::thread first([&] {
        q.Execute([&] {
            // While this runs on the main thread another thread can queue.
            second = std::thread([&] {
                q.Execute([] {});
                ++returned;
            });
            secondQueued = WaitFor([&] { return q.HasPending(); });
        });
        ++returned;
    });
    ASSERT_TRUE(ServiceUntil(q, [&] { return returned.load() == 2; }));
    first.join();
    second.join();
    EXPECT_TRUE(secondQueued.load());
}

TEST(MainThreadQueue, ShutdownReleasesWaitersWithoutRunningThem) {
    TMainThreadQueue q;
    std::atomic<int> ran{0}, returned{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 3; ++i)
        threads.emplace_back([&] {
            q.Execute([&] { ++ran; });
            ++returned;
        });
    ASSERT_TRUE(WaitFor([&] { return q.PendingCount() == 3; }));
    EXPECT_EQ(returned.load(), 0);
    {
        TWatchdog watchdog("release of waiting threads");
        q.BeginShutdown();
        for (auto& t : threads) t.join();
    }
    EXPECT_EQ(returned.load(), 3);
    EXPECT_EQ(ran.load(), 0);
    // New requests return at once, unrun.
    std::thread late([&] { q.Execute([&] { ++ran; }); });
    late.join();
    EXPECT_EQ(ran.load(), 0);
    EXPECT_FALSE(q.RunQueue());
}

TEST(MainThreadQueue, MainThreadWaitsKeepRunningTheQueue) {
    TMainThreadQueue q;
    std::atomic<bool> condition{false};
    bool handOffRan = false;
    std::thread worker([&] {
        q.Execute([&] { handOffRan = true; });
        condition = true;
        q.Poke();
    });
    // The condition only comes true after the main thread has run the
    // worker's request inside the wait.
    {
        TWatchdog watchdog("a wait that runs the queue");
        q.WaitServicing([&] { return condition.load(); });
        worker.join();
    }
    EXPECT_TRUE(handOffRan);

    bool inline_ = false;
    q.Execute([&] { inline_ = q.IsMainThread(); });
    EXPECT_TRUE(inline_) << "on the main thread a request runs at once";
}

// Queues requests from threads of their own, one at a time so that their
// order is known, and records what ran on the main thread.
struct TQueueScript {
    TMainThreadQueue q;
    std::vector<std::string> ran;  // main thread only
    std::atomic<int> returned{0};
    std::vector<std::thread> threads;

    // Queues `name`; its operation fails with `name` when `fail` is set.
    void Queue(const std::string& name, bool fail = false) {
        size_t before = q.PendingCount();
        threads.emplace_back([this, name, fail] {
            q.Execute([this, name, fail] {
                ran.push_back(name);
                if (fail) throw std::runtime_error(name);
            });
            ++returned;
        });
        EXPECT_TRUE(WaitFor([&] { return q.PendingCount() == before + 1; })) << name << " was not queued";
    }
    void JoinAll() {
        TWatchdog watchdog("the waiting threads");
        for (auto& t : threads) t.join();
    }
};

// An error box (later the crash dialog) runs the queue in its own loop while
// it waits for the user; requests that come meanwhile still run after the
// ones queued before them.
TEST(MainThreadQueue, OrderIsKeptAcrossAnErrorBoxThatRunsTheQueue) {
    TQueueScript s;
    s.q.SetErrorHandler([&](std::exception_ptr) {
        s.Queue("D");  // arrives while the box is open
        s.q.RunQueue();
        s.ran.push_back("box closed");
    });
    s.Queue("A", true);
    s.Queue("B");
    s.Queue("C");
    {
        TWatchdog watchdog("running the queue");
        EXPECT_TRUE(s.q.RunQueue());
    }
    s.JoinAll();
    EXPECT_EQ(s.ran, (std::vector<std::string>{"A", "B", "C", "D", "box closed"}));
    EXPECT_EQ(s.returned.load(), 4);
}

// The logon session ends while an error box is open: teardown runs from
// inside the box and must release every waiter, the one whose request
// failed and those queued behind it, or the server's deactivation would
// wait for their threads for ever.
TEST(MainThreadQueue, SessionEndWhileAnErrorBoxIsOpenReleasesEveryWaiter) {
    TQueueScript s;
    bool releasedInsideTheBox = false;
    s.q.SetErrorHandler([&](std::exception_ptr) {
        s.q.BeginShutdown();
        releasedInsideTheBox = WaitFor([&] { return s.returned.load() == 2; });
    });
    s.Queue("A", true);
    s.Queue("B");
    {
        TWatchdog watchdog("running the queue");
        s.q.RunQueue();
    }
    s.JoinAll();
    EXPECT_TRUE(releasedInsideTheBox);
    EXPECT_EQ(s.ran, std::vector<std::string>{"A"}) << "nothing runs once teardown has begun";
    EXPECT_FALSE(s.q.RunQueue());
}

class TRecordingSync : public TIdSync {
public:
    TRecordingSync(TMainThreadQueue& q, std::vector<std::string>& log, std::string text)
        : TIdSync(q), FQueue(q), FLog(log), FText(std::move(text)) {}

protected:
    void RunInMainThread() override { FLog.push_back(FText + (FQueue.IsMainThread() ? "@main" : "@other")); }

private:
    TMainThreadQueue& FQueue;
    std::vector<std::string>& FLog;
    std::string FText;
};

TEST(MainThreadQueue, SynchronizeRunsTheSyncObjectOnTheMainThread) {
    TMainThreadQueue q;
    std::vector<std::string> log;
    std::atomic<bool> back{false};
    std::thread t([&] {
        TRecordingSync(q, log, "hello").Synchronize();
        back = true;
    });
    ASSERT_TRUE(ServiceUntil(q, [&] { return back.load(); }));
    t.join();
    EXPECT_EQ(log, std::vector<std::string>{"hello@main"});
}

}  // namespace
}  // namespace qr
