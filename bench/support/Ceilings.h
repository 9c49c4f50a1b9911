#pragma once
// What the machine itself can do, measured in the same run as the program:
// plain TCP over loopback and, for the headless build, the datagram socket
// that stands in for the mailslot. (The mailslot's own loop runs under Wine,
// in quellora-bench-slotloop.)
#include <cstddef>
#include <string>
#include <vector>

namespace qrbench {

struct TLoopResult {
    size_t Size = 0;
    double MsgPerSec = 0, MBPerSec = 0;
    double WriteShare = 0;  // part of a round spent writing
    double P50Us = 0, P99Us = 0, MaxUs = 0;
    uint64_t Rounds = 0, Bad = 0;
    std::string Error;
};

// One connection over 127.0.0.1, the same messages as the program gets, as
// fast as they go; the receiver reads 32 KiB at a time and counts the 0x0C
// bytes, as the program's reader would.
TLoopResult TcpThroughput(size_t size, double seconds);

// Round trips over 127.0.0.1: a message out, one byte back.
TLoopResult TcpRoundTrip(size_t size, int rounds);

// A datagram socket bound under `dir`, one sender connected to it: write one
// message, read it back, again and again.
TLoopResult DatagramLoop(const std::string& dir, size_t size, int rounds, double maxSeconds);

// Percentile of sorted values.
double Percentile(const std::vector<double>& sorted, double p);

}  // namespace qrbench
