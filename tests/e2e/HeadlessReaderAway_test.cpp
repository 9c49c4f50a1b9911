// The headless build with its reader closing, hanging or restarting:
// forwarding never blocks its main thread, comes back with a new reader,
// and SIGTERM ends it cleanly. Native programs, no Wine.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>

#include "e2e/ClientBursts.h"
#include "e2e/Headless.h"

using namespace e2e;

TEST(HeadlessReaderAway, ReaderGoneAndBackGetsTheNextMessagesInOrder) {
    THeadless h;
    ASSERT_NO_FATAL_FAILURE(h.StartMonitor());
    ASSERT_NO_FATAL_FAILURE(h.StartServer());
    const long idle = h.Threads();
    ASSERT_EQ(SendFromClients("before", 1, 3, 45), "");
    ASSERT_EQ(h.Log.WaitFor(3, 20s).size(), 3u);

    h.Monitor.reset();
    const auto stopped = Clock::now();
    ASSERT_EQ(SendFromClients("away", 4, 250, 100, true), "");
    ASSERT_TRUE(h.HandOffsDone(idle, 120s)) << "the 1000 hand-offs never finished: the main thread hangs";
    std::printf("[ headless ] 1000 messages without a reader handled in %.1f s\n", SecondsSince(stopped));

    ASSERT_NO_FATAL_FAILURE(h.StartMonitor());
    ASSERT_EQ(SendFromClients("back", 1, 10, 45), "");
    auto got = h.Log.WaitFor(13, 20s);
    ASSERT_EQ(got.size(), 13u) << "the restarted reader does not get the new messages";
    for (int s = 0; s < 10; ++s) EXPECT_EQ(got[size_t(3 + s)], Numbered("back", 0, s, 45));
    double seconds = 0;
    EXPECT_EQ(h.Stop(seconds), std::optional<int>(0));
    std::printf("[ headless ] ended %.1f s after SIGTERM\n", seconds);
}

TEST(HeadlessReaderAway, ReaderThatDoesNotReadLeavesTheMainThreadFree) {
    THeadless h;
    ASSERT_NO_FATAL_FAILURE(h.StartMonitor(false));
    ASSERT_NO_FATAL_FAILURE(h.StartServer());
    const long idle = h.Threads();
    const auto began = Clock::now();
    ASSERT_EQ(SendFromClients("stuck", 4, 25, 4000, true), "");
    ASSERT_TRUE(h.HandOffsDone(idle, 120s)) << "100 hand-offs to a reader that does not read never finished";
    std::printf("[ headless ] 100 messages to a reader that does not read handled in %.1f s\n",
                SecondsSince(began));
    const auto sent = Clock::now();
    ASSERT_EQ(SendFromClients("other", 1, 1, 10, true), "");
    EXPECT_TRUE(h.HandOffsDone(idle, 30s)) << "the main thread does not run new hand-offs";
    std::printf("[ headless ] the next hand-off ran within %.1f s\n", SecondsSince(sent));

    // Ten clients waiting for the main thread when SIGTERM comes.
    std::thread waiting([] { SendFromClients("waiting", 10, 20, 4000); });
    for (auto end = Clock::now() + 20s; Clock::now() < end && h.Threads() < idle + 10;)
        std::this_thread::sleep_for(10ms);
    double seconds = 0;
    EXPECT_EQ(h.Stop(seconds), std::optional<int>(0));
    std::printf("[ headless ] ended %.1f s after SIGTERM with clients waiting\n", seconds);
    waiting.join();
}

TEST(HeadlessReaderAway, ReaderGoneForGoodStillLetsTheProgramEnd) {
    THeadless h;
    ASSERT_NO_FATAL_FAILURE(h.StartMonitor());
    ASSERT_NO_FATAL_FAILURE(h.StartServer());
    ASSERT_EQ(SendFromClients("before", 1, 1, 45), "");
    ASSERT_EQ(h.Log.WaitFor(1, 20s).size(), 1u);
    h.Monitor.reset();
    ASSERT_EQ(SendFromClients("gone", 4, 200, 1000, true), "");
    double seconds = 0;
    EXPECT_EQ(h.Stop(seconds), std::optional<int>(0));
    std::printf("[ headless ] ended %.1f s after SIGTERM\n", seconds);
}
