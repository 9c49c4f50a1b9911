#include "crashreport/intercept/LoaderLock_win32.h"

// GCC takes the segment-register read of the thread block for an access
// to an empty array.
#pragma GCC diagnostic ignored "-Warray-bounds"

#include <windows.h>
#include <winternl.h>

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

bool Owned(size_t offset) {
    auto* peb = reinterpret_cast<unsigned char*>(NtCurrentTeb()->ProcessEnvironmentBlock);
    if (!peb) return false;
    auto* section = *reinterpret_cast<RTL_CRITICAL_SECTION* volatile*>(peb + offset);
    return section && section->OwningThread != nullptr;
}

}  // namespace

bool LoaderLockHeld() { return Owned(kLoaderLock) || Owned(kFastPebLock); }

bool LoaderLockStaysHeld() {
    for (int waited = 0; waited < 250; waited += 10) {
        if (!LoaderLockHeld()) return false;
        Sleep(10);
    }
    return LoaderLockHeld();
}

}  // namespace qr
