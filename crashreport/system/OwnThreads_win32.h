#pragma once
// The crash reporter's own threads (the handler thread, the completion
// thread, the sending thread). A failure on one of them is never reported:
// the handler thread may be waiting for exactly that thread, so a report
// into it could never be handled. Such a thread ends instead, which ends
// every wait for it.
#include <cstdint>

namespace qr {

// Marks the calling thread as one of the crash reporter's while it lives.
class TOwnThreadMark {
public:
    TOwnThreadMark();
    ~TOwnThreadMark();
    TOwnThreadMark(const TOwnThreadMark&) = delete;
    TOwnThreadMark& operator=(const TOwnThreadMark&) = delete;

private:
    int FSlot;  // -1: not marked (all slots taken)
};

bool IsCrashReporterThread(uint32_t threadId);
// For a marked thread that ends without leaving its mark's scope.
void UnmarkCrashReporterThread(uint32_t threadId);

}  // namespace qr
