#pragma once
// Follows the monitor's raw log while the soak runs: identifies every
// message, checks its bytes against the regenerated original and records,
// per client, the sequence numbers in the order they arrived.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "e2e/SoakTraffic.h"

namespace e2e::soak {

// In a client's arrival list: its "quit".
constexpr int kQuitArrived = -1;

class TLogTail {
public:
    // `original` gives the bytes a client's message must have, or nothing
    // for a client the test does not know.
    TLogTail(std::string path, std::function<std::optional<std::string>(int client, int seq)> original,
             std::map<int, int> quitClientOfPattern);
    ~TLogTail();
    TLogTail(const TLogTail&) = delete;
    TLogTail& operator=(const TLogTail&) = delete;

    bool WaitArrived(int client, size_t count, std::chrono::milliseconds timeout);
    std::vector<int> Arrived(int client) const;
    size_t Empty() const;
    size_t Total() const;
    uint64_t Bytes() const;
    Clock::time_point LastArrival() const;
    // Messages that are no message of any client, or changed ones.
    std::vector<std::string> Faults() const;

private:
    void Run();
    void Take(const std::string& message);

    std::string FPath;
    std::function<std::optional<std::string>(int, int)> FOriginal;
    std::map<int, int> FQuitClientOfPattern;
    mutable std::mutex FLock;
    std::condition_variable FChanged;
    std::vector<std::vector<int>> FArrived;
    size_t FEmpty = 0, FTotal = 0;
    uint64_t FBytes = 0;
    Clock::time_point FLastArrival = Clock::now();
    std::vector<std::string> FFaults;
    size_t FFaultCount = 0;
    std::atomic<bool> FStop{false};
    std::thread FThread;
};

}  // namespace e2e::soak
