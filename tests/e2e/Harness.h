#pragma once
// What the end-to-end tests need to drive the Windows programs under Wine
// from the Linux side: child processes, TCP clients and the monitor's log.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "process/ChildProcess.h"

namespace e2e {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A program of the build under test, started under wine64 (which hands an
// x86 program to the 32-bit loader) with the caller's WINEPREFIX and
// DISPLAY; its standard output and error go to `outFile`.
class TWineProcess : public qrtest::TChild {
public:
    TWineProcess(const std::string& exe, const std::vector<std::string>& args,
                 const std::string& outFile = "", const std::vector<std::string>& env = {});
};

// The Windows build whose programs the tests run: $QR_E2E_BUILD_DIR (the
// test command points it at the x86 build for a second run), else the
// win64 build.
std::string BuildDir();
std::string Exe(const std::string& name);  // path of NAME.exe in that build
// Whether that build is the x86 one, as its program file's header says,
// and the name its packages carry ("win64" or "win32").
bool BuildIsX86();
std::string PackageArch();
std::string TempDir();  // a fresh folder for one test

// Runs quellora-poke with the arguments; its standard output.
std::string Poke(const std::vector<std::string>& args, int* exitCode = nullptr);
// Waits for the program's message box and returns its text (empty when
// none came within `timeout`); Dismiss... closes it too.
// The program's message box or crash dialog: "caption=...\ntext=..." (the
// crash dialog's text is the exception message); empty when there is none.
std::string WaitForMessageBox(std::chrono::milliseconds timeout = 20s);
std::string DismissMessageBox(std::chrono::milliseconds timeout = 20s);
// The crash reports the program saved beside itself ("bugreport.txt").
std::string ReadProgramReport();

// A TCP client on the Linux side.
class TClient {
public:
    // Connects to host:port, retrying until `timeout`; raises on failure.
    TClient(const std::string& host, int port, std::chrono::milliseconds timeout = 20s);
    ~TClient();
    TClient(const TClient&) = delete;
    TClient& operator=(const TClient&) = delete;
    void Send(const std::string& bytes);
    // Reset instead of an orderly close.
    void Reset();
    void Close();
    // True when the peer closed the connection within `timeout` (any
    // bytes it sent are an error: the program never answers).
    bool WaitClosedByPeer(std::chrono::milliseconds timeout);

private:
    int FFd = -1;
};

bool PortAccepts(const std::string& host, int port);

// The monitor's log of raw messages (4-byte little-endian length, bytes).
class TMonitorLog {
public:
    explicit TMonitorLog(std::string path) : FPath(std::move(path)) {}
    std::vector<std::string> Read() const;
    // Waits until at least `count` messages are there or `timeout` passed.
    std::vector<std::string> WaitFor(size_t count, std::chrono::milliseconds timeout) const;
    const std::string& Path() const { return FPath; }

private:
    std::string FPath;
};

// The monitor under Wine, logging to a file of its own. One that does not
// read creates the mailslot and leaves every message in it.
class TMonitor {
public:
    explicit TMonitor(bool reads = true);
    TMonitorLog Log;
    void Stop() { FProcess.reset(); }
    void Restart();

private:
    std::string FDir;
    bool FReads;
    std::unique_ptr<TWineProcess> FProcess;
};

// The program under Wine; waits until it accepts connections on 19150.
class TProgram {
public:
    // `ownsPort`: no other copy may be listening when this one starts;
    // `exe`: another copy of the program than the build's.
    explicit TProgram(const std::vector<std::string>& env = {}, bool waitForPort = true, bool ownsPort = true,
                      const std::string& exe = "");
    TWineProcess& Process() { return *FProcess; }
    // Close request to the main window; the exit code.
    std::optional<int> Close(std::chrono::milliseconds timeout = 30s);

private:
    std::unique_ptr<TWineProcess> FProcess;
};

constexpr int kPort = 19150;

// A test suite that shares one monitor and one program among its tests
// and expects the program to end with exit code 0.
class TProgramSuite : public testing::Test {
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    static TMonitor* monitor;
    static TProgram* program;
};

}  // namespace e2e
