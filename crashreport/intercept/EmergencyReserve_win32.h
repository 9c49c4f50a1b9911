#pragma once
// Address space and memory kept back so that the crash reporter can work
// after an out-of-memory failure: released first thing when a failure is
// reported, taken again afterwards.
#include <atomic>

namespace qr {

class TEmergencyReserve {
public:
    TEmergencyReserve() { Reserve(); }
    ~TEmergencyReserve() { Release(); }
    TEmergencyReserve(const TEmergencyReserve&) = delete;
    TEmergencyReserve& operator=(const TEmergencyReserve&) = delete;

    // Safe from any thread at any time, also from a failing one: each block
    // is taken out with an atomic exchange and freed without allocating.
    void Release();
    void Reserve();

private:
    static constexpr int kBlocks = 4;
    std::atomic<void*> FReserved[kBlocks] = {};   // 4 MiB address space each
    std::atomic<void*> FCommitted[kBlocks] = {};  // 512 KiB, no access
};

}  // namespace qr
