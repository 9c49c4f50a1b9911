#pragma once
// The process's loader lock and environment lock. While another thread
// holds the loader lock no new thread can start (its start needs the
// lock), so a failure is then handled and its report completed in the
// thread that has it.
namespace qr {

// Whether some thread holds the loader lock now.
bool LoaderLockHeld();

// Whether the loader lock stays held: at once when this thread holds it
// (nothing frees it while this thread waits), else asked every 10 ms for
// up to 250 ms. A thread that loads a library holds it for a moment; one
// that holds it that long is taken to keep it.
bool LoaderLockStaysHeld();

// The same for the loader lock or the environment lock, for the failing
// thread: either keeps a new thread from running, and the failing thread
// may hold one of them itself.
bool LoaderOrEnvironmentLockStaysHeld();

}  // namespace qr
