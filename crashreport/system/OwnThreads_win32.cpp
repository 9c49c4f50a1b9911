#include "crashreport/system/OwnThreads_win32.h"

#include <windows.h>

#include <atomic>

namespace qr {

namespace {

// A handler thread, a completion thread and a sending thread per failure
// at most; nested failures on the main thread add a few.
constexpr int kSlots = 16;
std::atomic<uint32_t> gThreads[kSlots];

}  // namespace

TOwnThreadMark::TOwnThreadMark() : FSlot(-1) {
    const uint32_t self = GetCurrentThreadId();
    for (int i = 0; i < kSlots; ++i) {
        uint32_t free = 0;
        if (gThreads[i].compare_exchange_strong(free, self)) {
            FSlot = i;
            return;
        }
    }
}

TOwnThreadMark::~TOwnThreadMark() {
    if (FSlot >= 0) gThreads[FSlot].store(0);
}

bool IsCrashReporterThread(uint32_t threadId) {
    for (const std::atomic<uint32_t>& slot : gThreads)
        if (slot.load() == threadId) return true;
    return false;
}

void UnmarkCrashReporterThread(uint32_t threadId) {
    for (std::atomic<uint32_t>& slot : gThreads) {
        uint32_t marked = threadId;
        slot.compare_exchange_strong(marked, 0);
    }
}

}  // namespace qr
