#pragma once
// What a server thread tells the system about itself.
#include <cstddef>
#include <functional>
#include <string>

namespace qr {

// Gives the calling thread a name for debuggers (and for the crash
// reporter, which records such names).
void AnnounceThreadName(const std::string& name);

// Raises the calling thread to the highest normal priority; listeners use
// it so that a busy process still accepts connections promptly.
void SetCurrentThreadPriorityHighest();

// Connection threads need little stack: the connection loop, the hand-off
// wait and exception handling (the receive buffer is on the heap).
constexpr size_t kConnectionThreadStack = 256 * 1024;

// Runs `body` on a new thread that nobody joins, with at most
// `stackReserve` bytes of address space for its stack where the platform
// takes that as a reservation (Windows; elsewhere stacks are committed as
// they are used, and the default applies). Raises std::system_error when
// the thread cannot be created.
void StartDetachedThread(std::function<void()> body, size_t stackReserve);

}  // namespace qr
