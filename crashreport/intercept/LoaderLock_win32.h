#pragma once
// Whether the process's loader lock or environment lock is held by some
// thread: then no new thread can start, and a failure must be handled in
// the failing thread itself.
namespace qr {

bool LoaderLockHeld();

// Asks every 10 ms for up to 250 ms; true when the locks stayed held.
bool LoaderLockStaysHeld();

}  // namespace qr
