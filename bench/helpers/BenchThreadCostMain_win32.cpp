// quellora-bench-threadcost: what one idle thread costs in address space,
// for several stack reservations. The program keeps one thread per
// connection, so this is the floor of its memory per connection whatever
// the connection itself holds. For each reservation it starts N threads
// that wait on an event and prints, per thread, the growth of the
// process's committed and reserved private memory and the size of the
// stack allocation the thread actually got:
//
//   reserve 262144: committed 1092 KiB, reserved 1100 KiB, stack 1024 KiB
//
//   quellora-bench-threadcost [N]      (default 200)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

#include "base/win32/Handles.h"

namespace {

struct TTotals {
    unsigned long long Committed = 0, Reserved = 0;
};

TTotals PrivateMemory() {
    TTotals totals;
    MEMORY_BASIC_INFORMATION mbi{};
    // Bounded by the address space: every step moves past one region.
    for (char* p = nullptr; VirtualQuery(p, &mbi, sizeof mbi) == sizeof mbi;) {
        if (mbi.Type == MEM_PRIVATE && mbi.State == MEM_COMMIT) totals.Committed += mbi.RegionSize;
        if (mbi.Type == MEM_PRIVATE && mbi.State != MEM_FREE) totals.Reserved += mbi.RegionSize;
        char* next = static_cast<char*>(mbi.BaseAddress) + mbi.RegionSize;
        if (next <= p) break;
        p = next;
    }
    return totals;
}

// The whole allocation that holds `address`: every region with its base.
SIZE_T AllocationSize(const void* address) {
    MEMORY_BASIC_INFORMATION mbi{};
    if (VirtualQuery(address, &mbi, sizeof mbi) != sizeof mbi) return 0;
    char* base = static_cast<char*>(mbi.AllocationBase);
    SIZE_T size = 0;
    for (char* p = base; VirtualQuery(p, &mbi, sizeof mbi) == sizeof mbi && mbi.AllocationBase == base;) {
        size += mbi.RegionSize;
        p += mbi.RegionSize;
    }
    return size;
}

struct TShared {
    HANDLE Release;
    volatile LONG Started = 0;
    volatile LONG64 StackBytes = 0;
};

DWORD WINAPI Idle(void* context) {
    auto* shared = static_cast<TShared*>(context);
    int local = 0;
    InterlockedAdd64(&shared->StackBytes, static_cast<LONG64>(AllocationSize(&local)));
    InterlockedIncrement(&shared->Started);
    // Ends when the measurement is done; bounded so that a lost event
    // cannot leave the program behind.
    WaitForSingleObject(shared->Release, 60000);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 200;
    if (count <= 0) return 2;
    for (SIZE_T reserve : {SIZE_T(64) << 10, SIZE_T(256) << 10, SIZE_T(1) << 20, SIZE_T(4) << 20}) {
        qr::win32::THandle release(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (!release) return 1;
        TShared shared;
        shared.Release = release.Get();
        TTotals before = PrivateMemory();
        std::vector<qr::win32::THandle> threads;
        for (int i = 0; i < count; ++i) {
            qr::win32::THandle t(
                CreateThread(nullptr, reserve, &Idle, &shared, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
            if (t) threads.push_back(std::move(t));
        }
        // Each thread counts itself once running; bounded like the threads.
        for (int waited = 0; shared.Started < LONG(threads.size()) && waited < 30000; waited += 10) Sleep(10);
        TTotals after = PrivateMemory();
        const double n = threads.empty() ? 1 : double(threads.size());
        std::printf("reserve %llu: threads %llu, committed %.0f KiB, reserved %.0f KiB, stack %.0f KiB\n",
                    static_cast<unsigned long long>(reserve), static_cast<unsigned long long>(threads.size()),
                    double(after.Committed - before.Committed) / n / 1024,
                    double(after.Reserved - before.Reserved) / n / 1024,
                    double(shared.StackBytes) / n / 1024);
        std::fflush(stdout);
        SetEvent(release.Get());
        for (const qr::win32::THandle& t : threads) WaitForSingleObject(t.Get(), 60000);
    }
    return 0;
}
