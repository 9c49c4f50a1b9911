#pragma once
// Child processes of the end-to-end tests and the benchmark: the programs
// under test and the Windows helpers (started through wine64), with an
// optional line-based conversation over their standard input and output.
// Each child leads a process group of its own, so that killing it also ends
// what it started.
#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace qrtest {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

class TChild {
public:
    // Starts argv[0] (a path) with the extra environment entries. With
    // `talk`, the child's standard input and output are pipes to us;
    // otherwise its input is /dev/null and its output goes to `outFile`.
    // Standard error goes to `errFile`. A file left empty is /dev/null;
    // files are appended to.
    TChild(const std::vector<std::string>& argv, bool talk, const std::vector<std::string>& env = {},
           const std::string& errFile = "", const std::string& outFile = "");
    ~TChild();
    TChild(const TChild&) = delete;
    TChild& operator=(const TChild&) = delete;

    pid_t Pid() const { return FPid; }
    int OutFd() const { return FOut; }

    void Send(const std::string& line);
    // The next line of output, or nothing when none came within `timeout`
    // (or the output ended).
    std::optional<std::string> ReadLine(std::chrono::milliseconds timeout);
    // A line already received, without waiting.
    std::optional<std::string> TryLine() { return ReadLine(0ms); }
    // Closes our end of its standard input.
    void CloseInput();

    // The exit status, or nothing when it still runs after `timeout`.
    std::optional<int> Wait(std::chrono::milliseconds timeout);
    bool Running() { return !Wait(0ms); }
    void Signal(int sig);
    // SIGKILL to its process group, then waits.
    void Kill();

private:
    bool TakeLine(std::string& line);

    pid_t FPid = -1;
    int FIn = -1, FOut = -1;
    std::string FBuffer;
    bool FEnded = false;
    std::optional<int> FExit;
};

// wine64, and the command line that runs a program of the win64 build.
std::string WineLoader();
std::vector<std::string> WineCommand(const std::string& winBuildDir, const std::string& exe,
                                     const std::vector<std::string>& args);

}  // namespace qrtest
