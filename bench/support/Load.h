#pragma once
// The clients of the bench: connections to the program under test that
// send the bench's messages as fast as the program takes them, and the
// one-message-at-a-time client of the latency runs.
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "bench/support/Readers.h"

namespace qrbench {

// One message after another for one sender, 0x0C included, built from a
// template so that only the header is written per message.
class TMessageMaker {
public:
    explicit TMessageMaker(size_t size);
    size_t WireSize() const { return FTemplate.size(); }
    void Append(std::string& out, uint32_t sender, uint32_t seq) const;

private:
    std::string FTemplate;
};

// A TCP connection to 127.0.0.1:port (TCP_NODELAY); -1 on failure.
int ConnectLoopback(int port, std::chrono::milliseconds timeout);
bool SendAll(int fd, const std::string& bytes, std::chrono::milliseconds timeout);
void CloseAll(std::vector<int>& fds);

// Opens `count` connections one after another; each sends message 0 of its
// sender (firstSender + i) right after connecting. At most `unaccepted`
// connections are open whose message has not reached the reader yet, so
// the program's listen queue never overflows. The reader must push every
// message and count from 0. Raises on failure or after `timeout`.
std::vector<int> OpenClients(int port, int count, size_t size, uint32_t firstSender, IReader& reader,
                             int unaccepted, std::chrono::milliseconds timeout, double& seconds);

struct TLoadPlan {
    int Port = 19150;
    int Clients = 1;
    size_t Size = 16;
    std::chrono::milliseconds DrainTimeout{30000};
};

struct TLoadResult {
    uint64_t Sent = 0;       // complete messages written to the connections
    uint64_t Delivered = 0;  // of them, messages that reached the reader
    uint64_t Bad = 0, Foreign = 0;
    // At the reader, over the measured part of every slice: from a tenth
    // into the slice until its last message arrived.
    double MsgPerSec = 0, MBPerSec = 0;
    double SecondsMeasured = 0;
    std::vector<double> SliceRates;
    double ConnectSeconds = 0;
    bool Drained = false;
    uint64_t Late = 0;  // arrived after the drain time-out
    std::string Error;
};

// The clients of one throughput figure. The connections stay open through
// several slices of sending, so that the ceilings can be sampled between
// two slices while the program is idle. Within a slice the clients send as
// fast as the program takes the messages, with at most a window of
// undelivered messages out; at the end of a slice every started message is
// finished and the slice waits until the reader has everything.
class TLoadSession {
public:
    // Resets the reader and opens the connections.
    TLoadSession(const TLoadPlan& plan, IReader& reader);
    ~TLoadSession();
    TLoadSession(const TLoadSession&) = delete;
    TLoadSession& operator=(const TLoadSession&) = delete;

    // False once something went wrong (the result's Error says what).
    bool Slice(double seconds);
    // Closes the connections; the totals of every slice.
    TLoadResult Finish();

private:
    struct TConn {
        std::string Pending;
        size_t Offset = 0;
        uint64_t BytesSent = 0;
        uint32_t NextSeq = 0;
    };
    void SetWindow(uint64_t w);

    TLoadPlan FPlan;
    IReader& FReader;
    TMessageMaker FMaker;
    std::vector<int> FFds;
    std::vector<TConn> FConns;
    uint64_t FWindow = 0, FMinWindow = 0, FMaxWindow = 0;
    uint64_t FGenerated = 0, FDelivered = 0;
    double FMeasuredSeconds = 0, FMeasuredMessages = 0, FMeasuredBytes = 0;
    TLoadResult FResult;
};

struct TLatencyResult {
    std::vector<double> RoundUs;
    uint64_t Bad = 0;
    std::string Error;
};

// One client: send one message, wait until the reader has it, repeat.
TLatencyResult RunLatency(int port, size_t size, int rounds, IReader& reader);

}  // namespace qrbench
