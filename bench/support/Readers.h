#pragma once
// The reading end of the mailslot, seen from the bench: the Windows reader
// under Wine (a child process spoken to over pipes) or, for the headless
// build, a reader thread on the datagram socket inside the bench. Both check
// every message (sender, number, filler) and report counts and arrival
// times; both can push their count every K messages so that the bench knows
// how far forwarding got without asking.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "bench/support/Child.h"
#include "bench/helpers/BenchPayload.h"

namespace qrbench {

struct TReaderReport {
    uint64_t Count = 0, Bytes = 0, Bad = 0, Foreign = 0;
    // Arrival of the first and the last message since the reset, in
    // microseconds of the reader's own clock; -1 when none arrived.
    int64_t FirstUs = -1, LastUs = -1;
};

class IReader {
public:
    virtual ~IReader() = default;
    // Forgets counts and streams; no count from before it is pushed after.
    virtual void Reset() = 0;
    // Push the count whenever it becomes a multiple of `every` (0: never).
    virtual void SetPush(uint64_t every) = 0;
    virtual TReaderReport Report() = 0;
    // Readable when a push may have arrived.
    virtual int NotifyFd() const = 0;
    // The latest pushed count, taking what arrived so far.
    virtual uint64_t Delivered() = 0;
    // Waits until a pushed count reaches `count`; false after `timeout`.
    virtual bool WaitDelivered(uint64_t count, std::chrono::milliseconds timeout) = 0;
    // Microseconds of one trip to the reader and back over the push path.
    virtual double PingUs() = 0;
};

// quellora-bench-reader.exe under Wine.
class TWineReader : public IReader {
public:
    // Starts the reader on "\\.\mailslot\<name>" and waits for it.
    TWineReader(const std::string& winBuildDir, const std::string& name);
    ~TWineReader() override;
    void Reset() override;
    void SetPush(uint64_t every) override;
    TReaderReport Report() override;
    int NotifyFd() const override { return FChild.OutFd(); }
    uint64_t Delivered() override;
    bool WaitDelivered(uint64_t count, std::chrono::milliseconds timeout) override;
    double PingUs() override;

private:
    // Reads lines until one starts with `tag`; pushes seen on the way count.
    std::string Expect(char tag, std::chrono::milliseconds timeout);
    void Take(const std::string& line);

    TChild FChild;
    uint64_t FDelivered = 0;
};

// A reader thread bound to the headless build's datagram socket.
class TNativeReader : public IReader {
public:
    // Binds the socket for "\\.\mailslot\<name>" under `runtimeDir`.
    TNativeReader(const std::string& runtimeDir, const std::string& name);
    ~TNativeReader() override;
    void Reset() override;
    void SetPush(uint64_t every) override;
    TReaderReport Report() override;
    int NotifyFd() const override { return FNotify; }
    uint64_t Delivered() override;
    bool WaitDelivered(uint64_t count, std::chrono::milliseconds timeout) override;
    double PingUs() override;

private:
    void Run();

    int FSocket = -1, FNotify = -1, FPingFd = -1;
    std::string FPath;
    std::mutex FLock;
    TStreamCheck FCheck;
    uint64_t FPush = 0;
    int64_t FFirstUs = -1, FLastUs = -1;
    std::atomic<uint64_t> FDelivered{0};
    std::atomic<bool> FPong{false}, FStop{false};
    Clock::time_point FStart = Clock::now();
    std::thread FThread;
};

}  // namespace qrbench
