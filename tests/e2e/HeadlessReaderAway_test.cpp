// The headless build with its reader closing, hanging or restarting:
// forwarding never blocks its main thread, comes back with a new reader,
// and SIGTERM ends it cleanly. Native programs, no Wine.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "e2e/ClientBursts.h"
#include "e2e/Harness.h"

using namespace e2e;

namespace {

// Reader and server share a runtime folder of the test's own, which holds
// the datagram socket that stands in for the mailslot.
struct THeadless {
    std::string Dir = TempDir();
    TMonitorLog Log{Dir + "/messages.bin"};
    std::unique_ptr<qrtest::TChild> Monitor, Server;

    std::vector<std::string> Env() const { return {"XDG_RUNTIME_DIR=" + Dir}; }

    void StartMonitor(bool reads = true) {
        Monitor.reset();
        std::string out = Dir + "/monitor.out";
        std::filesystem::remove(out);
        std::vector<std::string> argv{QR_NATIVE_MONITOR, "--quiet", "--log", Log.Path()};
        if (!reads) argv.push_back("--no-read");
        Monitor = std::make_unique<qrtest::TChild>(argv, false, Env(), out, out);
        for (auto end = Clock::now() + 20s; Clock::now() < end; std::this_thread::sleep_for(20ms)) {
            std::ifstream f(out);
            std::string text((std::istreambuf_iterator<char>(f)), {});
            if (text.find("monitoring") != std::string::npos) return;
        }
        FAIL() << "the monitor did not start";
    }
    void StartServer() {
        for (auto end = Clock::now() + 30s; PortAccepts("127.0.0.1", kPort);
             std::this_thread::sleep_for(200ms))
            if (Clock::now() >= end) FAIL() << "another program still listens on the port";
        Server = std::make_unique<qrtest::TChild>(std::vector<std::string>{QR_NATIVE_HEADLESS}, false, Env());
        for (auto end = Clock::now() + 20s; !PortAccepts("127.0.0.1", kPort);
             std::this_thread::sleep_for(50ms))
            if (Clock::now() >= end) FAIL() << "the headless server does not listen";
    }
    long Threads() const {
        std::error_code ec;
        long n = 0;
        for (auto it =
                 std::filesystem::directory_iterator("/proc/" + std::to_string(Server->Pid()) + "/task", ec);
             !ec && it != std::filesystem::directory_iterator(); it.increment(ec))
            ++n;
        return n;
    }
    // Once the connection threads have ended, the main thread has run every
    // hand-off they queued.
    bool HandOffsDone(long idle, std::chrono::seconds timeout) const {
        for (auto end = Clock::now() + timeout; Clock::now() < end; std::this_thread::sleep_for(50ms))
            if (Threads() <= idle) return true;
        return false;
    }
    // SIGTERM; the exit code.
    std::optional<int> Stop(double& seconds) {
        auto begin = Clock::now();
        Server->Signal(SIGTERM);
        auto code = Server->Wait(30s);
        seconds = SecondsSince(begin);
        return code;
    }
};

}  // namespace

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
