// The presentation program closing, hanging or restarting while the
// program runs under Wine: forwarding never blocks the main thread, comes
// back with a new reader, and the program always ends cleanly.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "e2e/ClientBursts.h"
#include "e2e/Harness.h"

using namespace e2e;

namespace {

// Threads of the program, from quellora-poke; -1 when it gives none.
long ProgramThreads() {
    int code = -1;
    std::string out = Poke({"stats"}, &code);
    const char* at = std::strstr(out.c_str(), "threads=");
    long threads = -1;
    if (code != 0 || !at || std::sscanf(at, "threads=%ld", &threads) != 1) return -1;
    return threads;
}

// Once the connection threads have ended, the main thread has run every
// hand-off they queued. False when they are still there after `timeout`.
bool HandOffsDone(long idleThreads, std::chrono::seconds timeout) {
    for (auto end = Clock::now() + timeout; Clock::now() < end; std::this_thread::sleep_for(300ms)) {
        long now = ProgramThreads();
        if (now >= 0 && now <= idleThreads) return true;
    }
    return false;
}

bool MemoShows(const std::string& text, std::chrono::seconds timeout) {
    for (auto end = Clock::now() + timeout; Clock::now() < end; std::this_thread::sleep_for(100ms))
        if (Poke({"get", "Memo1"}) == text + "\n") return true;
    return false;
}

}  // namespace

TEST(ReaderAway, ReaderGoneAndBackGetsTheNextMessagesInOrder) {
    TMonitor monitor;
    TProgram program;
    const long idle = ProgramThreads();
    ASSERT_GT(idle, 0) << "quellora-poke stats gives no numbers";
    ASSERT_EQ(SendFromClients("before", 1, 3, 45), "");
    ASSERT_EQ(monitor.Log.WaitFor(3, 30s).size(), 3u) << "nothing forwarded while the reader runs";

    // The reader ends while the program holds the mailslot open; far more
    // messages follow than the mailslot's queue holds.
    monitor.Stop();
    const auto stopped = Clock::now();
    ASSERT_EQ(SendFromClients("away", 4, 250, 100, true), "");
    int answered = -1;
    Poke({"get", "Memo1"}, &answered);
    EXPECT_EQ(answered, 0) << "the main thread does not answer while it forwards to no reader";
    ASSERT_TRUE(HandOffsDone(idle, 120s)) << "the 1000 hand-offs never finished: the main thread hangs";
    std::printf("[ reader   ] 1000 messages without a reader handled in %.1f s\n", SecondsSince(stopped));

    // A new reader can create the mailslot, and the next messages reach it.
    monitor.Restart();
    const auto restarted = Clock::now();
    TClient client("127.0.0.1", kPort);
    std::string ten;
    for (int s = 0; s < 10; ++s) ten += Numbered("back", 9, s, 45) + '\f';
    client.Send(ten);
    auto got = monitor.Log.WaitFor(13, 30s);
    std::printf("[ reader   ] 10 messages at the new reader %.1f s after it started\n",
                SecondsSince(restarted));
    ASSERT_EQ(got.size(), 13u) << "the restarted reader does not get the new messages";
    for (int s = 0; s < 10; ++s) EXPECT_EQ(got[size_t(3 + s)], Numbered("back", 9, s, 45));
    client.Close();

    // Ended through its tray menu.
    int rc = -1;
    Poke({"tray-rbutton"}, &rc);
    std::string menu;
    for (auto end = Clock::now() + 20s; Clock::now() < end && menu.empty();
         std::this_thread::sleep_for(100ms))
        if (std::string out = Poke({"menu"}, &rc); rc == 0 && out.find("open=") != std::string::npos)
            menu = out;
    ASSERT_NE(menu, "") << "the tray menu does not open";
    Poke({"menu", "choose", "0"}, &rc);
    EXPECT_EQ(program.Process().Wait(30s), std::optional<int>(0));
}

TEST(ReaderAway, ReaderThatDoesNotReadLeavesTheMainThreadFree) {
    TMonitor monitor(false);
    TProgram program;
    const long idle = ProgramThreads();
    ASSERT_GT(idle, 0) << "quellora-poke stats gives no numbers";
    // 400 KB: about twice what Wine's mailslot queue holds.
    const auto began = Clock::now();
    ASSERT_EQ(SendFromClients("stuck", 4, 25, 4000, true), "");
    ASSERT_TRUE(HandOffsDone(idle, 120s)) << "100 hand-offs to a reader that does not read never finished";
    std::printf("[ reader   ] 100 messages to a reader that does not read handled in %.1f s\n",
                SecondsSince(began));

    // Another client's hand-off still runs.
    const auto sent = Clock::now();
    ASSERT_EQ(SendFromClients("other", 1, 1, 10), "");
    EXPECT_TRUE(MemoShows(Numbered("other", 0, 0, 10), 30s)) << "the main thread does not run new hand-offs";
    std::printf("[ reader   ] the next hand-off ran %.1f s after it was sent\n", SecondsSince(sent));

    const auto closing = Clock::now();
    EXPECT_EQ(program.Close(30s), std::optional<int>(0));
    std::printf("[ reader   ] closed in %.1f s\n", SecondsSince(closing));
}

TEST(ReaderAway, ReaderGoneForGoodStillLetsTheProgramEnd) {
    TMonitor monitor;
    TProgram program;
    ASSERT_EQ(SendFromClients("before", 1, 1, 45), "");
    ASSERT_EQ(monitor.Log.WaitFor(1, 30s).size(), 1u);
    monitor.Stop();
    // Clients still sending while the program ends.
    std::thread traffic([] { SendFromClients("gone", 4, 200, 1000); });
    std::this_thread::sleep_for(500ms);
    const auto closing = Clock::now();
    EXPECT_EQ(program.Close(30s), std::optional<int>(0));
    std::printf("[ reader   ] closed in %.1f s\n", SecondsSince(closing));
    traffic.join();
}
