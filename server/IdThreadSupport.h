#pragma once
// What a server thread tells the system about itself.
#include <string>

namespace qr {

// Gives the calling thread a name for debuggers (and for the crash
// reporter, which records such names).
void AnnounceThreadName(const std::string& name);

// Raises the calling thread to the highest normal priority; listeners use
// it so that a busy process still accepts connections promptly.
void SetCurrentThreadPriorityHighest();

}  // namespace qr
