// Runs of several requests at once: one wake-up per run without losing
// any, each client's order across batched hand-offs, the work done once
// after a run, the memo following the writes, and teardown in the middle
// of a batch.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "app/QLSyncClass.h"
#include "base/MainThreadQueue.h"
#include "link/MailSlotWriter.h"
#include "tests/unit/ServerTestWatchdog.h"

namespace qr {
namespace {

using test::kWait;
using test::TWatchdog;

using test::WaitFor;

// Queues requests from threads of their own, one after another so that
// their order is known.
struct TBatch {
    TMainThreadQueue q;
    std::vector<std::thread> threads;
    std::atomic<int> returned{0};

    void Queue(const std::function<void()>& operation) {
        size_t before = q.PendingCount();
        threads.emplace_back([this, operation] {
            q.Execute(operation);
            ++returned;
        });
        ASSERT_TRUE(WaitFor([&] { return q.PendingCount() == before + 1; }));
    }
    void JoinAll() {
        TWatchdog watchdog("the waiting threads");
        for (auto& t : threads) t.join();
        threads.clear();
    }
};

TEST(MainThreadQueueBatch, OneWakeUpPerRunAndNoneLostForRequestsDuringARun) {
    TBatch b;
    std::atomic<int> wakeUps{0};
    b.q.SetWakeUp([&] { ++wakeUps; });
    std::vector<std::string> ran;  // main thread only
    b.Queue([&] { ran.push_back("1"); });
    b.Queue([&] {
        ran.push_back("2");
        // Queued while the run goes on: it is not in this run's share,
        // so it must wake the owner again or it would wait for the
        // next unrelated wake-up.
        b.threads.emplace_back([&] {
            b.q.Execute([&] { ran.push_back("late"); });
            ++b.returned;
        });
        EXPECT_TRUE(WaitFor([&] { return wakeUps.load() == 2; }));
    });
    b.Queue([&] { ran.push_back("3"); });
    EXPECT_EQ(wakeUps.load(), 1) << "three requests queued before a run wake the owner once";
    {
        TWatchdog watchdog("running the queue");
        EXPECT_TRUE(b.q.RunQueue());
    }
    EXPECT_EQ(ran, (std::vector<std::string>{"1", "2", "3"}));
    EXPECT_EQ(b.q.PendingCount(), 1u);
    EXPECT_TRUE(b.q.RunQueue());
    b.JoinAll();
    EXPECT_EQ(ran.back(), "late");
    EXPECT_EQ(b.returned.load(), 4);
}

// The work left for after a run comes once per run that ran anything,
// when every waiter of the run is already released, also after a direct
// call on the main thread; never once teardown began. Its error goes to
// the error handler.
TEST(MainThreadQueueBatch, AfterRunComesOncePerRunWithItsWaitersReleased) {
    TBatch b;
    std::vector<int> releasedAtAfterRun;  // main thread only
    b.q.SetAfterRun(
        [&] { releasedAtAfterRun.push_back(WaitFor([&] { return b.returned.load() == 3; }) ? 3 : -1); });
    for (int i = 0; i < 3; ++i) b.Queue([] {});
    {
        TWatchdog watchdog("a run of three requests");
        EXPECT_TRUE(b.q.RunQueue());
    }
    EXPECT_EQ(releasedAtAfterRun, (std::vector<int>{3})) << "after the run, with its three waiters gone on";
    EXPECT_FALSE(b.q.RunQueue());
    EXPECT_EQ(releasedAtAfterRun.size(), 1u) << "a run that ran nothing leaves nothing to do";
    b.JoinAll();

    int direct = 0;
    b.q.SetAfterRun([&] { ++direct; });
    b.q.Execute([] {});
    EXPECT_EQ(direct, 1) << "a call on the main thread is a run of its own";

    std::vector<std::string> errors;
    b.q.SetErrorHandler([&](std::exception_ptr e) {
        try {
            std::rethrow_exception(e);
        } catch (const std::runtime_error& error) {
            errors.push_back(error.what());
        }
    });
    b.q.SetAfterRun([] { throw std::runtime_error("after the run"); });
    b.Queue([] {});
    EXPECT_TRUE(b.q.RunQueue());
    b.JoinAll();
    EXPECT_EQ(errors, (std::vector<std::string>{"after the run"}));

    b.q.SetAfterRun([&] { ++direct; });
    b.q.BeginShutdown();
    b.q.Execute([] {});
    EXPECT_EQ(direct, 1) << "nothing runs after a run once teardown began";
}

// The main window goes away (teardown begins) while the main thread works
// through a batch: what was promised to run next does not, every waiter is
// released, and nothing runs afterwards.
TEST(MainThreadQueueBatch, TeardownInTheMiddleOfABatchReleasesTheRest) {
    TBatch b;
    std::vector<std::string> ran;  // main thread only
    for (int i = 1; i <= 5; ++i)
        b.Queue([&, i] {
            ran.push_back(std::to_string(i));
            if (i == 2) b.q.BeginShutdown();
        });
    {
        TWatchdog watchdog("a run that meets teardown");
        EXPECT_TRUE(b.q.RunQueue());
    }
    b.JoinAll();
    EXPECT_EQ(ran, (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(b.returned.load(), 5);
    EXPECT_FALSE(b.q.RunQueue());
}

// A writer whose platform records every message; one named "raise" makes
// the write raise instead.
struct TRecordingSlot : IMailSlotPlatform {
    std::vector<std::string>* messages;
    explicit TRecordingSlot(std::vector<std::string>* out) : messages(out) {}
    TSlotHandle Open(const UString&) override { return 1; }
    TSlotWrite Write(TSlotHandle, const void* buffer, int32_t count, int, int32_t& written) override {
        std::string message(static_cast<const char*>(buffer), size_t(count));
        if (message == "raise") throw std::runtime_error("the write raised");
        messages->push_back(message);
        written = count;
        return TSlotWrite::Written;
    }
    void Close(TSlotHandle) override {}
};

// The hand-off as the main window sets it up: the memo follows each run.
struct TForwarding {
    TMainThreadQueue q;
    std::vector<std::string> written;  // main thread only
    // What the memo showed, and how many messages were written by then.
    std::vector<std::pair<std::string, size_t>> shown;
    std::function<void()> onShow;  // called as the memo changes
    std::atomic<int> released{0};  // hand-offs that returned
    TMailSlotWriter writer{u"Quellora\\Messages", std::make_unique<TRecordingSlot>(&written)};
    TMemoUpdate memo{[this](const UString& text) {
        shown.emplace_back(UnicodeToAnsi(text), written.size());
        if (onShow) onShow();
    }};
    TForwardTargets targets;
    TForwarding() {
        targets.Writer = &writer;
        targets.Memo = &memo;
        q.SetAfterRun([this] { memo.Show(); });
    }
};

void HandOffOne(TForwarding& f, const UString& text) {
    TQLSyncClass::HandOff(f.q, f.targets, std::span<const UString>(&text, 1));
    ++f.released;
}

TEST(MainThreadQueueBatch, ABatchOfHandOffsWritesEachInOrderAndShowsOnlyTheLast) {
    TForwarding f;
    std::vector<std::thread> threads;
    for (int i = 0; i < 6; ++i) {
        size_t before = f.q.PendingCount();
        threads.emplace_back([&f, i] { HandOffOne(f, u"m" + AnsiToUnicode(std::to_string(i))); });
        ASSERT_TRUE(WaitFor([&] { return f.q.PendingCount() == before + 1; }));
    }
    // The memo stands in the way of no message: each connection thread
    // goes on before it changes.
    bool releasedFirst = false;
    f.onShow = [&] { releasedFirst = WaitFor([&] { return f.released.load() == 6; }); };
    {
        TWatchdog watchdog("one run of six hand-offs");
        EXPECT_TRUE(f.q.RunQueue());
        for (auto& t : threads) t.join();
    }
    EXPECT_EQ(f.written, (std::vector<std::string>{"m0", "m1", "m2", "m3", "m4", "m5"}));
    // The memo is replaced once, with the last message, after every write.
    ASSERT_EQ(f.shown.size(), 1u);
    EXPECT_EQ(f.shown[0], (std::pair<std::string, size_t>{"m5", 6}));
    EXPECT_TRUE(releasedFirst) << "a connection thread waited for the memo";
}

// A memo that fails costs no message: the run's messages are written, the
// error goes where errors of hand-offs go, and the next message is written
// and shown. A write that raises still shows its message, before the
// error is dealt with (its handling may open a loop that shows the window).
TEST(MainThreadQueueBatch, FailuresOfTheMemoOrTheWriteCostNoOtherMessage) {
    TForwarding f;
    std::vector<std::string> errors, shownAtError;
    f.q.SetErrorHandler([&](std::exception_ptr e) {
        shownAtError.push_back(f.shown.empty() ? "" : f.shown.back().first);
        try {
            std::rethrow_exception(e);
        } catch (const std::runtime_error& error) {
            errors.push_back(error.what());
        }
    });
    f.onShow = [&] {
        if (f.shown.back().first == "b") throw std::runtime_error("the memo failed");
    };
    auto run = [&](std::vector<UString> texts) {
        std::thread client([&] { TQLSyncClass::HandOff(f.q, f.targets, texts); });
        EXPECT_TRUE(WaitFor([&] { return f.q.PendingCount() == texts.size(); }));
        TWatchdog watchdog("one run");
        EXPECT_TRUE(f.q.RunQueue());
        client.join();
    };
    run({u"a", u"b"});
    run({u"c"});
    EXPECT_EQ(f.written, (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(f.shown.back().first, "c");
    EXPECT_EQ(errors, (std::vector<std::string>{"the memo failed"}));

    run({u"raise", u"d"});
    EXPECT_EQ(f.written.back(), "d");
    EXPECT_EQ(errors.back(), "the write raised");
    EXPECT_EQ(shownAtError.back(), "raise") << "the memo did not show the message whose write raised";
    EXPECT_EQ(f.shown.back().first, "d");
}

TEST(MainThreadQueueBatch, ManyClientsKeepTheirOrderAndTheMemoEndsWithTheLastWritten) {
    TForwarding f;
    constexpr int kClients = 12, kEach = 150;
    std::atomic<int> finished{0};
    std::vector<std::thread> threads;
    for (int c = 0; c < kClients; ++c)
        threads.emplace_back([&f, &finished, c] {
            for (int i = 0; i < kEach; ++i)
                HandOffOne(f, AnsiToUnicode(std::to_string(c) + ":" + std::to_string(i)));
            ++finished;
        });
    {
        TWatchdog watchdog("hand-offs of many clients");
        auto deadline = std::chrono::steady_clock::now() + kWait;
        while (finished.load() < kClients && std::chrono::steady_clock::now() < deadline)
            f.q.ServiceFor(std::chrono::milliseconds(5));
        for (auto& t : threads) t.join();
    }
    ASSERT_EQ(f.written.size(), size_t(kClients * kEach));
    std::vector<int> next(kClients, 0);
    for (const std::string& m : f.written) {
        size_t colon = m.find(':');
        int c = std::stoi(m.substr(0, colon)), i = std::stoi(m.substr(colon + 1));
        EXPECT_EQ(i, next[size_t(c)]) << "client " << c;
        next[size_t(c)] = i + 1;
    }
    // Every text the memo showed was the last one written by then, and the
    // memo ends with the last message.
    ASSERT_FALSE(f.shown.empty());
    for (const auto& [text, writtenBefore] : f.shown) {
        ASSERT_GT(writtenBefore, 0u);
        EXPECT_EQ(text, f.written[writtenBefore - 1]);
    }
    EXPECT_EQ(f.shown.back().first, f.written.back());
}

}  // namespace
}  // namespace qr

namespace qr {
namespace {

// The messages of one receive are queued together: another client's
// message cannot come between them, one wake-up serves them, the caller
// returns only when the last is written, and each is still its own write.
TEST(MainThreadQueueBatch, OneReceiveIsQueuedWholeAndReturnsAfterItsLastWrite) {
    TForwarding f;
    std::atomic<int> wakeUps{0};
    f.q.SetWakeUp([&] { ++wakeUps; });
    std::atomic<bool> batchReturned{false};
    std::thread single([&] { HandOffOne(f, u"other-1"); });
    ASSERT_TRUE(WaitFor([&] { return f.q.PendingCount() == 1; }));
    std::thread batch([&] {
        std::vector<UString> texts{u"a", u"b", u"c"};
        TQLSyncClass::HandOff(f.q, f.targets, texts);
        batchReturned = true;
    });
    ASSERT_TRUE(WaitFor([&] { return f.q.PendingCount() == 4; }));
    std::thread later([&] { HandOffOne(f, u"other-2"); });
    ASSERT_TRUE(WaitFor([&] { return f.q.PendingCount() == 5; }));
    EXPECT_EQ(wakeUps.load(), 1);
    EXPECT_FALSE(batchReturned.load());
    {
        TWatchdog watchdog("a run with a batch between two single hand-offs");
        EXPECT_TRUE(f.q.RunQueue());
        single.join();
        batch.join();
        later.join();
    }
    EXPECT_EQ(f.written, (std::vector<std::string>{"other-1", "a", "b", "c", "other-2"}));
    ASSERT_EQ(f.shown.size(), 1u);
    EXPECT_EQ(f.shown[0].first, "other-2");
}

// Teardown in the middle of one client's batch: the rest of it is released
// unrun and the connection thread returns.
TEST(MainThreadQueueBatch, TeardownInsideOneBatchReleasesItsRest) {
    TMainThreadQueue q;
    std::vector<int> ran;  // main thread only
    std::vector<TMainThreadQueue::TOperation> operations;
    for (int i = 1; i <= 4; ++i)
        operations.emplace_back([&, i] {
            ran.push_back(i);
            if (i == 2) q.BeginShutdown();
        });
    std::atomic<bool> returned{false};
    std::thread client([&] {
        q.ExecuteAll(operations);
        returned = true;
    });
    ASSERT_TRUE(WaitFor([&] { return q.PendingCount() == 4; }));
    {
        TWatchdog watchdog("a batch that meets teardown");
        q.RunQueue();
        client.join();
    }
    EXPECT_TRUE(returned.load());
    EXPECT_EQ(ran, (std::vector<int>{1, 2}));
}

// On the main thread a batch runs at once, in order, and an error of one
// operation goes to the handler without stopping the ones after it.
TEST(MainThreadQueueBatch, ABatchOnTheMainThreadRunsEachWithItsOwnErrorHandling) {
    TMainThreadQueue q;
    std::vector<std::string> seen;
    q.SetErrorHandler([&](std::exception_ptr e) {
        try {
            std::rethrow_exception(e);
        } catch (const std::runtime_error& error) {
            seen.push_back(std::string("error:") + error.what());
        }
    });
    std::vector<TMainThreadQueue::TOperation> operations{
        [&] { seen.push_back("1"); }, [] { throw std::runtime_error("2"); }, [&] { seen.push_back("3"); }};
    q.ExecuteAll(operations);
    EXPECT_EQ(seen, (std::vector<std::string>{"1", "error:2", "3"}));
}

}  // namespace
}  // namespace qr
