// The report completion thread: it runs the work once, its waits are
// bounded, and it survives work that raises.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

#include "crashreport/report/CompletionThread.h"

namespace qr {
namespace {

TEST(CompletionThread, RunsTheWorkAndReportsItsEnd) {
    std::atomic<int> runs{0};
    std::atomic<bool> release{false};
    {
        TCompletionThread thread([&] {
            while (!release) std::this_thread::yield();
            ++runs;
        });
        EXPECT_FALSE(thread.Wait(1));
        thread.RaiseToHighest();
        release = true;
        EXPECT_TRUE(thread.Wait(60000));
    }
    EXPECT_EQ(runs, 1);
    TCompletionThread failing([] { throw std::runtime_error("step"); });
    EXPECT_TRUE(failing.Wait(60000));
}

}  // namespace
}  // namespace qr
