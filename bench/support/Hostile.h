#pragma once
// Loads that hurt a thread-per-connection server: many slow clients beside
// a few fast ones, thousands of idle connections that then close at once,
// and connections that connect, send one message and close. Each figure
// comes with its baseline from the same run: the fast clients alone, the
// program idle without connections, a message on a fresh connection before
// the crowd came, and the same churn against an acceptor in the bench.
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <string>

#include "bench/support/Readers.h"

namespace qrbench {

struct TSlowClientsResult {
    int SlowClients = 0, FastClients = 0;
    double AloneMsgPerSec = 0, BesideMsgPerSec = 0;
    uint64_t Sent = 0, Delivered = 0, Bad = 0;
    std::string Error;
};

// `fast` clients send 16-byte messages as fast as the program takes them,
// first alone, then while `slow` more clients each send one byte (never a
// message end) every 50 ms.
TSlowClientsResult RunSlowClients(int port, IReader& reader, int slow, int fast, int slices, double seconds);

struct TMassCloseResult {
    int Connections = 0;
    double IdleSeconds = 0;
    // CPU seconds per second, without connections and with all of them idle.
    double CpuProgramBefore = -1, CpuWineserverBefore = -1;
    double CpuProgramIdle = -1, CpuWineserverIdle = -1;
    double ConnectSeconds = 0;
    // A message on a fresh connection: before the crowd came, and right
    // after every connection of the crowd closed at once.
    double FreshMessageMs = -1, AfterCloseMs = -1;
    // From the close until the program is back to its threads without
    // connections.
    double ThreadsGoneSeconds = -1;
    uint64_t Bad = 0;
    std::string Error;
};

// `idleThreads`: the program's thread count without connections.
TMassCloseResult RunMassClose(int port, IReader& reader, pid_t program, pid_t wineserver, int connections,
                              double idleSeconds, long idleThreads);

struct TChurnResult {
    double Seconds = 0;
    uint64_t Cycles = 0, Delivered = 0, Bad = 0;
    double CyclesPerSec = 0;
    // The same loop against a bench thread that accepts, reads to the end
    // and closes.
    double CeilingCyclesPerSec = 0;
    std::string Error;
};

// Connect, send one 16-byte message, close; at most 12 messages not yet
// delivered at a time. The rate counts delivered messages.
TChurnResult RunChurn(int port, int ceilingPort, IReader& reader, double seconds);

}  // namespace qrbench
