#include "bench/support/CeilingProbe.h"

#include <cstdio>

namespace qrbench {

TCeilingProbe::~TCeilingProbe() { StopWine(); }

void TCeilingProbe::StopWine() {
    if (!FSlot) return;
    FSlot->CloseInput();
    if (!FSlot->Wait(5s)) FSlot->Kill();
    FSlot.reset();
}

void TCeilingProbe::StartWine(const std::string& winBuildDir) {
    FSlot =
        std::make_unique<TChild>(WineCommand(winBuildDir, "quellora-bench-slotloop.exe", {"--serve"}), true);
}

TLoopResult TCeilingProbe::SlotLoop(size_t size, double seconds) {
    TLoopResult r;
    r.Size = size;
    if (!FSlot) return r;
    int ms = int(seconds * 1000);
    FSlot->Send(std::to_string(size) + " 10000000 " + std::to_string(ms));
    // The first sample also waits for Wine to start the helper.
    auto end = Clock::now() + 60s;
    while (Clock::now() < end) {
        auto line =
            FSlot->ReadLine(std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()));
        if (!line) break;
        if (!line->empty() && (*line)[0] == 'e') {
            Errors.push_back("mailslot loop: " + *line);
            continue;
        }
        unsigned long long rounds = 0, bad = 0;
        double total, write, read;
        if (std::sscanf(line->c_str(), "s %zu %llu %lf %lf %lf %lf %lf %lf %llu", &r.Size, &rounds, &total,
                        &write, &read, &r.P50Us, &r.P99Us, &r.MaxUs, &bad) != 9)
            continue;
        r.Rounds = rounds;
        r.Bad = bad;
        r.MsgPerSec = total > 0 ? double(rounds) * 1e6 / total : 0;
        r.MBPerSec = r.MsgPerSec * double(r.Size) / 1e6;
        r.WriteShare = write + read > 0 ? write / (write + read) : 0;
        SlotSamples[size].push_back(r);
        return r;
    }
    Errors.push_back("mailslot loop gave no result");
    return r;
}

TCeilingSample TCeilingProbe::Measure(size_t size) {
    TCeilingSample s;
    TLoopResult t = TcpThroughput(size, FSeconds);
    TcpSamples[size].push_back(t);
    s.Tcp = t.MsgPerSec;
    if (FSlot) s.SlotLoop = SlotLoop(size, FSeconds).MsgPerSec;
    if (!FDir.empty()) {
        TLoopResult d = DatagramLoop(FDir, size, 10000000, FSeconds);
        DatagramSamples[size].push_back(d);
        s.Datagram = d.MsgPerSec;
    }
    return s;
}

}  // namespace qrbench
