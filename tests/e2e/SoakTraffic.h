#pragma once
// Traffic for the soak test: self-identifying messages that can be
// regenerated from a seed, and the clients that send them in random writes.
//
// A message is either empty or starts with an 8-byte header "Qccssss:"
// (client and sequence number in hex) followed by filler derived from
// (seed, client, sequence). The checker regenerates every message from its
// header and compares all bytes, so order, duplicates, corruption and
// foreign bytes all show. Filler never holds 0x0C, the message end, nor
// 0x98 (see Message).
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace e2e::soak {

using Clock = std::chrono::steady_clock;

// splitmix64: small, fast and good enough to vary sizes, cuts and bytes.
class TRandom {
public:
    explicit TRandom(uint64_t seed) : FState(seed) {}
    uint64_t Next();
    // Uniform in [lo, hi].
    uint64_t Between(uint64_t lo, uint64_t hi) { return lo + Next() % (hi - lo + 1); }

private:
    uint64_t FState;
};

uint64_t Mix(uint64_t a, uint64_t b);

constexpr size_t kHeaderSize = 8;
constexpr size_t kMaxSize = 65536;
constexpr int kMaxClients = 256;

enum class TSizes {
    Mixed,     // 0 to 64 KiB: mostly small, a steady share large, some empty and some of exactly 64 KiB
    Short,     // 0 or a few bytes past the header: for clients that send one byte at a time
    NonEmpty,  // small, never empty: for messages that must be told apart
};

std::string Message(uint64_t seed, int client, int seq, TSizes sizes);

struct TIdentity {
    int Client;
    int Seq;
};
std::optional<TIdentity> Identify(std::string_view message);

// "quit" in one of its 16 letter-case spellings; the spelling tells the
// quitting clients apart in the log.
std::string QuitSpelling(int pattern);
// The pattern of a "quit" in any case, or nothing.
std::optional<int> QuitPattern(std::string_view message);

enum class TEnding {
    Close,            // orderly close after the last complete message
    CloseMidMessage,  // sends part of one more message, then closes
    ResetMidMessage,  // waits until its messages arrived, sends part of one more, resets
    ResetAbruptly,    // its last messages and part of one more still in flight, resets at once
    Quit,             // "quit", then more messages; the program must close the connection
};
const char* EndingName(TEnding e);

struct TClientPlan {
    int Id = 0;
    TEnding Ending = TEnding::Close;
    bool Slow = false;  // one byte per write, with pauses
    bool IPv6 = false;
    int Complete = 1000;  // complete messages before the ending
    int AfterQuit = 0;    // complete messages sent after "quit"
    int QuitPattern = 0;
    TSizes Sizes = TSizes::Mixed;
};

// The last message boundary of a client that gives up mid-message: part of
// message number Complete.
std::string PartialMessage(uint64_t seed, const TClientPlan& plan);

// Lets every client connect before any of them sends.
class TStartGate {
public:
    void Arrived();
    // All `count` clients arrived (false when `timeout` passed first).
    bool WaitAll(int count, std::chrono::milliseconds timeout);
    void Open();
    bool WaitOpen(std::chrono::milliseconds timeout);

private:
    std::mutex FLock;
    std::condition_variable FChanged;
    int FArrived = 0;
    bool FOpen = false;
};

struct TClientReport {
    std::vector<std::string> Faults;  // what went wrong on the client's side
    uint64_t BytesSent = 0;
    int Writes = 0;
    bool ClosedByProgram = false;  // for "quit" clients
};

// Waits until the program has forwarded `count` messages of `client`
// (false when `timeout` passed first).
using TWaitArrived = std::function<bool(int client, size_t count, std::chrono::milliseconds timeout)>;

// True once the program has stopped forwarding for longer than it should.
using TStalled = std::function<bool()>;

// Runs one client to its end; every wait ends at `deadline` or once the
// program has stalled.
void RunClient(const TClientPlan& plan, uint64_t seed, int port, TStartGate& gate,
               const TWaitArrived& waitArrived, const TStalled& stalled, Clock::time_point deadline,
               TClientReport& report);

}  // namespace e2e::soak
