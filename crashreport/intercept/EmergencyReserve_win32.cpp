#include "crashreport/intercept/EmergencyReserve_win32.h"

#include <windows.h>

namespace qr {

void TEmergencyReserve::Release() {
    for (int i = 0; i < kBlocks; ++i) {
        if (void* block = FReserved[i].exchange(nullptr)) VirtualFree(block, 0, MEM_RELEASE);
        if (void* block = FCommitted[i].exchange(nullptr)) VirtualFree(block, 0, MEM_RELEASE);
    }
}

void TEmergencyReserve::Reserve() {
    for (int i = 0; i < kBlocks; ++i) {
        if (!FReserved[i].load()) {
            void* block = VirtualAlloc(nullptr, 4 << 20, MEM_RESERVE, PAGE_NOACCESS);
            void* expected = nullptr;
            if (block && !FReserved[i].compare_exchange_strong(expected, block))
                VirtualFree(block, 0, MEM_RELEASE);
        }
        if (!FCommitted[i].load()) {
            void* block = VirtualAlloc(nullptr, 512 << 10, MEM_RESERVE | MEM_COMMIT, PAGE_NOACCESS);
            void* expected = nullptr;
            if (block && !FCommitted[i].compare_exchange_strong(expected, block))
                VirtualFree(block, 0, MEM_RELEASE);
        }
    }
}

}  // namespace qr
