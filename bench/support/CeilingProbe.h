#pragma once
// The ceilings, measured right before each run of the program, so that a
// ratio compares the program with what the machine could do at that moment:
// on a shared machine the load changes from minute to minute, and a ceiling
// taken once at the start would compare with another machine.
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/support/Ceilings.h"
#include "bench/support/Child.h"

namespace qrbench {

// Messages per second each ceiling reached; 0 when not measured.
struct TCeilingSample {
    double SlotLoop = 0, Datagram = 0, Tcp = 0;
};

class TCeilingProbe {
public:
    explicit TCeilingProbe(double seconds) : FSeconds(seconds) {}
    ~TCeilingProbe();
    // The mailslot loop under Wine: one helper process serves every sample.
    void StartWine(const std::string& winBuildDir);
    void StopWine();
    // The datagram loop of the headless build, in this folder.
    void SetDatagramDir(const std::string& dir) { FDir = dir; }

    // TCP always, the mailslot loop when Wine is started, the datagram
    // loop when a folder is set.
    TCeilingSample Measure(size_t size);
    TLoopResult SlotLoop(size_t size, double seconds);

    // Every sample taken, by size, for the summary.
    std::map<size_t, std::vector<TLoopResult>> SlotSamples, TcpSamples, DatagramSamples;
    std::vector<std::string> Errors;

private:
    double FSeconds;
    std::unique_ptr<TChild> FSlot;
    std::string FDir;
};

}  // namespace qrbench
