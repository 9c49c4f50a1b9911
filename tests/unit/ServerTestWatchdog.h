#pragma once
// Bounded waits for the server tests: a fault fails the test instead of
// hanging it.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <thread>

namespace qr::test {

constexpr std::chrono::milliseconds kWait{20000};

// Polls `done` until it holds; false when kWait passed first.
inline bool WaitFor(const std::function<bool()>& done) {
    auto deadline = std::chrono::steady_clock::now() + kWait;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Ends the test program with a message when a step that must return does
// not return within kWait (a thread blocked for ever cannot be
// interrupted otherwise).
class TWatchdog {
public:
    explicit TWatchdog(const char* what) : FWhat(what), FThread([this] { Watch(); }) {}
    ~TWatchdog() {
        {
            std::lock_guard<std::mutex> lock(FLock);
            FDone = true;
        }
        FChanged.notify_all();
        FThread.join();
    }

private:
    void Watch() {
        std::unique_lock<std::mutex> lock(FLock);
        if (!FChanged.wait_for(lock, kWait, [this] { return FDone; })) {
            std::fprintf(stderr, "%s did not return\n", FWhat);
            std::abort();
        }
    }

    const char* FWhat;
    std::mutex FLock;
    std::condition_variable FChanged;
    bool FDone = false;
    std::thread FThread;
};

}  // namespace qr::test
