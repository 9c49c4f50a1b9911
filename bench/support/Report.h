#pragma once
// Everything one run of the forwarding benchmark measured, and its two
// renderings: a Markdown summary for people and JSON for tools.
#include <map>
#include <string>
#include <vector>

#include "bench/support/CeilingProbe.h"
#include "bench/support/Ceilings.h"
#include "bench/support/Hostile.h"
#include "bench/support/Load.h"
#include "bench/support/Probes.h"

namespace qrbench {

struct TThroughputCell {
    std::string Target;  // "wine", "native", "wine-server-queue", "wine-server-direct"
    int Clients = 0;
    size_t Size = 0;
    TLoadResult R;
    TCeilingSample Ceiling;  // mean of the samples taken between the slices
};

struct TLatencyCell {
    std::string Target;
    size_t Size = 0;
    int Rounds = 0;
    double P50Us = 0, P99Us = 0, MaxUs = 0;
    uint64_t Bad = 0;
    std::string Error;
    // The floor, measured right before: half a TCP round trip, one round of
    // the mailslot (or datagram) loop, one hop from the reader to the bench.
    double TcpHalfUs = 0, LoopUs = 0, HopUs = 0;
    double FloorUs() const { return TcpHalfUs + LoopUs + HopUs; }
};

struct TScaleResult {
    int Connections = 0;
    double ConnectSeconds = 0, AcceptedPerSec = 0;
    TProcessFigures Before, After;
    double IdleSeconds = 0, IdleCpuProgram = -1, IdleCpuWineserver = -1;  // CPU seconds per second
    bool LastArrived = false;
    double LastMessageUs = 0;
    // Then the first LargeConnections of them send one 1 MB message each and
    // are idle again: what that message leaves with a connection.
    int LargeConnections = 0;
    bool LargeServed = false;
    TProcessFigures AfterLarge;
    uint64_t Bad = 0;
    std::string Error;
};

struct TRunReport {
    std::string Date, Machine, Wine, LoadBefore, LoadAfter;
    bool Quick = false;
    double SecondsPerRun = 0;
    int Slices = 1;
    double TotalSeconds = 0;
    std::vector<size_t> Sizes;
    std::vector<int> ClientCounts;
    // Every ceiling sample of the run, by size.
    std::map<size_t, std::vector<TLoopResult>> SlotLoop, TcpThroughput, DatagramLoop;
    // Replacing the memo's text under Wine, by size.
    std::map<size_t, TLoopResult> Memo;
    std::vector<TThroughputCell> Throughput;
    std::vector<TLatencyCell> Latency;
    TScaleResult Scale;
    // Hostile loads (Wine program; churn for the headless build too).
    TSlowClientsResult SlowClients;
    TMassCloseResult MassClose;
    TChurnResult WineChurn, NativeChurn;
    // Seconds until the program's threads were back to idle after the
    // 1,000 idle connections closed at once, before the hostile loads.
    double ScaleThreadsGoneSeconds = -1;
    std::vector<std::string> Notes;

    const TThroughputCell* Find(const std::string& target, int clients, size_t size) const;
    const TLatencyCell* FindLatency(const std::string& target) const;
};

std::string RenderMarkdown(const TRunReport& r);
std::string RenderJson(const TRunReport& r);

}  // namespace qrbench
