#pragma once
// Looks at the programs under test from outside: the mailslot loop and the
// process figures of the Windows helpers, and what Linux knows of the same
// processes.
#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

#include "bench/support/Ceilings.h"

namespace qrbench {

// quellora-bench-slotloop.exe: one result per size.
std::vector<TLoopResult> RunSlotLoop(const std::string& winBuildDir, const std::vector<size_t>& sizes,
                                     int rounds, int maxMsPerSize);

// quellora-bench-memo.exe: replacing the text of a memo like the program's
// with a message of each size; P50Us and friends are per replacement.
std::vector<TLoopResult> RunMemo(const std::string& winBuildDir, const std::vector<size_t>& sizes, int rounds,
                                 int maxMsPerSize);

struct TProcessFigures {
    bool Valid = false;
    // As Windows reports them (quellora-bench-procinfo.exe).
    long WinThreads = 0;
    unsigned long long WinPrivate = 0;    // the process-status figure (Wine: 0)
    unsigned long long WinCommitted = 0;  // committed private regions
    unsigned long long WinWorkingSet = 0;
    // The same process as Linux sees it.
    long LinuxThreads = 0;
    unsigned long long LinuxPrivateResident = 0;  // Private_Clean + Private_Dirty
};

TProcessFigures ProbeProcess(const std::string& winBuildDir, const std::string& exeName, pid_t unixPid);

// Threads of a process as Linux counts them; -1 if unknown.
long LinuxThreadCount(pid_t pid);

// Waits until a process has at most `threads` threads (those of ended
// connections are gone); the seconds that took, or -1 after `timeout`.
double WaitForThreads(pid_t pid, long threads, std::chrono::seconds timeout);

// User plus system CPU seconds a process has used so far; -1 if unknown.
double CpuSeconds(pid_t pid);

// The wineserver of the prefix in $WINEPREFIX, or -1.
pid_t FindWineserver();

// One line about the machine, and the load average now.
std::string MachineDescription();
std::string LoadAverage();
std::string WineVersion();

}  // namespace qrbench
