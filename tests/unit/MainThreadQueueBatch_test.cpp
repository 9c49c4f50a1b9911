// Runs of several requests at once: one wake-up per run without losing
// any, each client's order across batched hand-offs, the promise that the
// next request runs at once, and teardown in the middle of a batch.
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

const char kKindA = 0, kKindB = 0;

// Queues requests from threads of their own, one after another so that
// their order is known.
struct TBatch {
    TMainThreadQueue q;
    std::vector<std::thread> threads;
    std::atomic<int> returned{0};

    void Queue(const std::function<void()>& operation, const void* kind) {
        size_t before = q.PendingCount();
        threads.emplace_back([this, operation, kind] {
            q.Execute(operation, kind);
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
    b.Queue([&] { ran.push_back("1"); }, nullptr);
    b.Queue(
        [&] {
            ran.push_back("2");
            // Queued while the run goes on: it is not in this run's share,
            // so it must wake the owner again or it would wait for the
            // next unrelated wake-up.
            b.threads.emplace_back([&] {
                b.q.Execute([&] { ran.push_back("late"); });
                ++b.returned;
            });
            EXPECT_TRUE(WaitFor([&] { return wakeUps.load() == 2; }));
        },
        nullptr);
    b.Queue([&] { ran.push_back("3"); }, nullptr);
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

TEST(MainThreadQueueBatch, RunsNextAtOnceOnlyForTheSameKindFollowingInTheSameRun) {
    TBatch b;
    std::vector<bool> answers;  // main thread only
    auto ask = [&] { answers.push_back(b.q.RunsNextAtOnce(&kKindA)); };
    b.Queue(ask, &kKindA);
    b.Queue(ask, &kKindA);
    b.Queue(ask, &kKindB);
    b.Queue(ask, &kKindA);
    b.q.RunQueue();
    b.JoinAll();
    // A followed by A; A followed by B; B asks about A, which follows;
    // the last of the run has nothing after it.
    EXPECT_EQ(answers, (std::vector<bool>{true, false, true, false}));
    EXPECT_FALSE(b.q.RunsNextAtOnce(&kKindA)) << "outside a run";

    // With a stop check the run can end before the next request.
    answers.clear();
    b.q.SetStopCheck([] { return false; });
    b.Queue(ask, &kKindA);
    b.Queue(ask, &kKindA);
    b.q.RunQueue();
    b.JoinAll();
    EXPECT_EQ(answers, (std::vector<bool>{false, false}));
}

// The main window goes away (teardown begins) while the main thread works
// through a batch: what was promised to run next does not, every waiter is
// released, and nothing runs afterwards.
TEST(MainThreadQueueBatch, TeardownInTheMiddleOfABatchReleasesTheRest) {
    TBatch b;
    std::vector<std::string> ran;  // main thread only
    std::vector<bool> answers;
    for (int i = 1; i <= 5; ++i)
        b.Queue(
            [&, i] {
                answers.push_back(b.q.RunsNextAtOnce(&kKindA));
                ran.push_back(std::to_string(i));
                if (i == 2) b.q.BeginShutdown();
            },
            &kKindA);
    {
        TWatchdog watchdog("a run that meets teardown");
        EXPECT_TRUE(b.q.RunQueue());
    }
    b.JoinAll();
    EXPECT_EQ(ran, (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(answers, (std::vector<bool>{true, true}));
    EXPECT_FALSE(b.q.RunsNextAtOnce(&kKindA));
    EXPECT_EQ(b.returned.load(), 5);
    EXPECT_FALSE(b.q.RunQueue());
}

// A writer whose platform records every message.
struct TRecordingSlot : IMailSlotPlatform {
    std::vector<std::string>* messages;
    explicit TRecordingSlot(std::vector<std::string>* out) : messages(out) {}
    TSlotHandle Open(const UString&) override { return 1; }
    TSlotWrite Write(TSlotHandle, const void* buffer, int32_t count, int, int32_t& written) override {
        messages->emplace_back(static_cast<const char*>(buffer), size_t(count));
        written = count;
        return TSlotWrite::Written;
    }
    void Close(TSlotHandle) override {}
};

struct TForwarding {
    TMainThreadQueue q;
    std::vector<std::string> written;  // main thread only
    // What the memo showed, and how many messages were written by then.
    std::vector<std::pair<std::string, size_t>> shown;
    TMailSlotWriter writer{u"Quellora\\Messages", std::make_unique<TRecordingSlot>(&written)};
    TForwardTargets targets;
    TForwarding() {
        targets.Writer = &writer;
        targets.ShowText = [this](const UString& text) {
            shown.emplace_back(UnicodeToAnsi(text), written.size());
        };
    }
};

void HandOffOne(TForwarding& f, const UString& text) {
    TQLSyncClass::HandOff(f.q, f.targets, std::span<const UString>(&text, 1));
}

TEST(MainThreadQueueBatch, ABatchOfHandOffsWritesEachInOrderAndShowsOnlyTheLast) {
    TForwarding f;
    std::vector<std::thread> threads;
    for (int i = 0; i < 6; ++i) {
        size_t before = f.q.PendingCount();
        threads.emplace_back([&f, i] { HandOffOne(f, u"m" + AnsiToUnicode(std::to_string(i))); });
        ASSERT_TRUE(WaitFor([&] { return f.q.PendingCount() == before + 1; }));
    }
    {
        TWatchdog watchdog("one run of six hand-offs");
        EXPECT_TRUE(f.q.RunQueue());
        for (auto& t : threads) t.join();
    }
    EXPECT_EQ(f.written, (std::vector<std::string>{"m0", "m1", "m2", "m3", "m4", "m5"}));
    // The memo is replaced once, with the last message, before its write.
    ASSERT_EQ(f.shown.size(), 1u);
    EXPECT_EQ(f.shown[0], (std::pair<std::string, size_t>{"m5", 5}));
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
    // Every text the memo showed was the next one written, and the memo
    // ends with the last message.
    ASSERT_FALSE(f.shown.empty());
    for (const auto& [text, writtenBefore] : f.shown) {
        ASSERT_LT(writtenBefore, f.written.size());
        EXPECT_EQ(text, f.written[writtenBefore]);
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
        q.ExecuteAll(operations, &kKindA);
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
