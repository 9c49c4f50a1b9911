#include "crashreport/intercept/LoaderLock_win32.h"

// GCC takes the segment-register read of the thread block for an access
// to an empty array.
#pragma GCC diagnostic ignored "-Warray-bounds"

#include <windows.h>
#include <winternl.h>

#include <array>
#include <cstddef>

namespace qr {

namespace {

// The process environment block's fields are not in the public headers;
// these offsets have been stable since the first 64-bit Windows.
#if defined(_M_X64) || defined(__x86_64__)
constexpr size_t kFastPebLock = 0x38, kLoaderLock = 0x110;
#else
constexpr size_t kFastPebLock = 0x1C, kLoaderLock = 0xA0;
#endif

constexpr int kPollStep = 10, kPollLimit = 250;  // milliseconds

// The owner's thread id; 0: free.
DWORD Owner(size_t offset) {
    auto* peb = reinterpret_cast<unsigned char*>(NtCurrentTeb()->ProcessEnvironmentBlock);
    if (!peb) return 0;
    auto* section = *reinterpret_cast<RTL_CRITICAL_SECTION* volatile*>(peb + offset);
    return section ? static_cast<DWORD>(reinterpret_cast<uintptr_t>(section->OwningThread)) : 0;
}

template <class Owners>
bool StaysHeld(Owners owners) {
    const DWORD self = GetCurrentThreadId();
    for (int waited = 0;; waited += kPollStep) {
        bool held = false;
        for (DWORD owner : owners()) {
            if (owner == self) return true;
            held = held || owner != 0;
        }
        if (!held) return false;
        if (waited >= kPollLimit) return true;
        Sleep(kPollStep);
    }
}

}  // namespace

bool LoaderLockHeld() { return Owner(kLoaderLock) != 0; }

bool LoaderLockStaysHeld() {
    return StaysHeld([] { return std::array<DWORD, 1>{Owner(kLoaderLock)}; });
}

bool LoaderOrEnvironmentLockStaysHeld() {
    return StaysHeld([] { return std::array<DWORD, 2>{Owner(kLoaderLock), Owner(kFastPebLock)}; });
}

}  // namespace qr
