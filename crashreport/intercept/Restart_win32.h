#pragma once
// Ending the process after a failure: the restart procedure (a new
// instance with the same command line and folder, which waits for this one
// to end) and the close procedure.
#include <cstdint>
#include <optional>

#include "crashreport/intercept/TimeHistory.h"

namespace qr {

// Start-up: when this process was started by a restart, waits until the
// old process has ended and returns its block (the old id and history).
std::optional<TRestartHandOver> TakeOverRestart();

// Starts the program again and ends this process with exit code 2. When
// the new process cannot be started, ends with exit code 1.
[[noreturn]] void RestartProgram(const TExceptTimeHistory& history);

// Ends this process at once with exit code 1: nothing is finalised and no
// close handler runs.
[[noreturn]] void CloseProgram();

}  // namespace qr
