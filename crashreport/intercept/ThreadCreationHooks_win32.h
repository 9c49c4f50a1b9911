#pragma once
// The program's own thread creations (CreateThread and the C runtime's
// _beginthreadex, called through the program file's import table) pass
// through the crash reporter, which registers each new thread with its
// creator and the place of the creating call before the thread runs.
#include "crashreport/intercept/ThreadTable.h"

namespace qr {

// Points the program file's import entries at the registering routines;
// `table` must outlive the hooks. Restored by RemoveThreadCreationHooks.
void InstallThreadCreationHooks(TThreadTable& table);
void RemoveThreadCreationHooks();

}  // namespace qr
