#pragma once
// Child processes of the bench: the programs under test and the Windows
// helpers (started through wine64), with an optional line-based
// conversation over their standard input and output.
#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace qrbench {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

class TChild {
public:
    // Starts argv[0] (a path) with the extra environment entries. With
    // `talk`, the child's standard input and output are pipes to us;
    // otherwise they are /dev/null. Standard error goes to `errFile` (or
    // /dev/null).
    TChild(const std::vector<std::string>& argv, bool talk, const std::vector<std::string>& env = {},
           const std::string& errFile = "");
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

// wine64 and the folder of the win64 build.
std::string WineLoader();
std::vector<std::string> WineCommand(const std::string& winBuildDir, const std::string& exe,
                                     const std::vector<std::string>& args);

}  // namespace qrbench
