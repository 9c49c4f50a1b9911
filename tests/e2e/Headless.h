#pragma once
// The headless build with its native monitor, for the end-to-end tests that
// need no Wine: reader and server share a runtime folder of the test's own,
// which holds the datagram socket that stands in for the mailslot.
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "e2e/Harness.h"

namespace e2e {

struct THeadless {
    std::string Dir = TempDir();
    TMonitorLog Log{Dir + "/messages.bin"};
    std::unique_ptr<qrtest::TChild> Monitor, Server;

    std::vector<std::string> Env() const { return {"XDG_RUNTIME_DIR=" + Dir}; }

    // Fails the test (fatally) when either does not come up.
    void StartMonitor(bool reads = true);
    void StartServer();
    long Threads() const;
    // Once the connection threads have ended, the main thread has run every
    // hand-off they queued.
    bool HandOffsDone(long idle, std::chrono::seconds timeout) const;
    // SIGTERM; the exit code.
    std::optional<int> Stop(double& seconds);
};

}  // namespace e2e
