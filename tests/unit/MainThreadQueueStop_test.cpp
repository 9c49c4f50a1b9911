// A stop request that arrives while the main thread works through a long
// queue ends the forwarding at the next request, not after the last.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "base/MainThreadQueue.h"
#include "tests/unit/ServerTestWatchdog.h"

namespace qr {

TEST(MainThreadQueueStop, StopCheckReleasesTheRestOfTheQueueUnrun) {
    TMainThreadQueue q;
    std::atomic<int> returned{0};
    int ran = 0;  // main thread only
    bool stop = false;
    q.SetStopCheck([&] { return stop; });
    std::vector<std::thread> threads;
    for (int i = 0; i < 6; ++i)
        threads.emplace_back([&] {
            q.Execute([&] {
                // The second request takes the stop request in.
                if (++ran == 2) stop = true;
            });
            ++returned;
        });
    for (auto end = std::chrono::steady_clock::now() + test::kWait;
         q.PendingCount() < 6 && std::chrono::steady_clock::now() < end;)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(q.PendingCount(), 6u);
    {
        test::TWatchdog watchdog("release of the queue after a stop request");
        EXPECT_TRUE(q.RunQueue());
        for (auto& t : threads) t.join();
    }
    EXPECT_EQ(ran, 2);
    EXPECT_EQ(returned.load(), 6);
    EXPECT_TRUE(q.ShuttingDown());
}

}  // namespace qr
