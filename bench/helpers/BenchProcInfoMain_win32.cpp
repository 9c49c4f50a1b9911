// quellora-bench-procinfo: thread count and memory of running processes, as
// Windows reports them, for the forwarding benchmark.
//
//   quellora-bench-procinfo EXE_NAME
//
// One line per process whose executable is EXE_NAME (any letter case):
//   p PID THREADS PRIVATE_BYTES COMMITTED_PRIVATE_BYTES WORKING_SET_BYTES
// PRIVATE_BYTES is what the process-status functions report; Wine leaves it
// at 0, so COMMITTED_PRIVATE_BYTES adds up the committed private regions of
// the address space, which is what the figure means on Windows.
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <cstdio>
#include <map>
#include <string>

namespace {

unsigned long long CommittedPrivate(HANDLE process) {
    unsigned long long total = 0;
    MEMORY_BASIC_INFORMATION mbi{};
    // Bounded by the address space: every step moves past one region.
    for (char* p = nullptr; VirtualQueryEx(process, p, &mbi, sizeof mbi) == sizeof mbi;) {
        if (mbi.State == MEM_COMMIT && mbi.Type == MEM_PRIVATE) total += mbi.RegionSize;
        char* next = static_cast<char*>(mbi.BaseAddress) + mbi.RegionSize;
        if (next <= p) break;
        p = next;
    }
    return total;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: quellora-bench-procinfo EXE_NAME\n");
        return 2;
    }
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS | TH32CS_SNAPTHREAD, 0);
    if (snap == INVALID_HANDLE_VALUE) {
        std::printf("e CreateToolhelp32Snapshot %lu\n", GetLastError());
        return 1;
    }
    std::map<DWORD, DWORD> threads;  // process id -> threads counted in the snapshot
    THREADENTRY32 te{};
    te.dwSize = sizeof te;
    for (BOOL more = Thread32First(snap, &te); more; more = Thread32Next(snap, &te))
        ++threads[te.th32OwnerProcessID];
    wchar_t name[MAX_PATH] = {};
    MultiByteToWideChar(CP_ACP, 0, argv[1], -1, name, MAX_PATH - 1);
    PROCESSENTRY32W pe{};
    pe.dwSize = sizeof pe;
    int found = 0;
    for (BOOL more = Process32FirstW(snap, &pe); more; more = Process32NextW(snap, &pe)) {
        if (lstrcmpiW(pe.szExeFile, name) != 0) continue;
        ++found;
        PROCESS_MEMORY_COUNTERS_EX mc{};
        mc.cb = sizeof mc;
        HANDLE h = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pe.th32ProcessID);
        unsigned long long committed = 0;
        if (!h || !GetProcessMemoryInfo(h, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&mc), sizeof mc))
            mc = PROCESS_MEMORY_COUNTERS_EX{};
        if (h) {
            committed = CommittedPrivate(h);
            CloseHandle(h);
        }
        std::printf("p %lu %lu %llu %llu %llu\n", pe.th32ProcessID, threads[pe.th32ProcessID],
                    (unsigned long long)mc.PrivateUsage, committed, (unsigned long long)mc.WorkingSetSize);
    }
    CloseHandle(snap);
    std::fflush(stdout);
    return found ? 0 : 1;
}
