#include "e2e/Headless.h"

#include <signal.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "e2e/ClientBursts.h"

namespace e2e {

void THeadless::StartMonitor(bool reads) {
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

void THeadless::StartServer() {
    for (auto end = Clock::now() + 30s; PortAccepts("127.0.0.1", kPort); std::this_thread::sleep_for(200ms))
        if (Clock::now() >= end) FAIL() << "another program still listens on the port";
    Server = std::make_unique<qrtest::TChild>(std::vector<std::string>{QR_NATIVE_HEADLESS}, false, Env());
    for (auto end = Clock::now() + 20s; !PortAccepts("127.0.0.1", kPort); std::this_thread::sleep_for(50ms))
        if (Clock::now() >= end) FAIL() << "the headless server does not listen";
    // The sockets listen before the listener threads run, and each of them
    // then prepares a connection thread: the tests take the thread count
    // of an idle server once it has stayed the same for a while.
    long last = Threads();
    auto stableSince = Clock::now();
    for (auto end = Clock::now() + 10s; Clock::now() - stableSince < 500ms && Clock::now() < end;
         std::this_thread::sleep_for(50ms)) {
        long now = Threads();
        if (now != last) stableSince = Clock::now();
        last = now;
    }
}

long THeadless::Threads() const {
    std::error_code ec;
    long n = 0;
    for (auto it =
             std::filesystem::directory_iterator("/proc/" + std::to_string(Server->Pid()) + "/task", ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec))
        ++n;
    return n;
}

bool THeadless::HandOffsDone(long idle, std::chrono::seconds timeout) const {
    for (auto end = Clock::now() + timeout; Clock::now() < end; std::this_thread::sleep_for(50ms))
        if (Threads() <= idle) return true;
    return false;
}

std::optional<int> THeadless::Stop(double& seconds) {
    auto begin = Clock::now();
    Server->Signal(SIGTERM);
    auto code = Server->Wait(30s);
    seconds = SecondsSince(begin);
    return code;
}

}  // namespace e2e
