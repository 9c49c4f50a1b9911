#include "crashreport/intercept/ThreadCreationHooks_win32.h"

#include <windows.h>
#include <process.h>

#include <atomic>
#include <cstring>
#include <type_traits>

namespace qr {

namespace {

using TCreateThread = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE, LPVOID, DWORD,
                                      LPDWORD);
using TBeginThreadEx = uintptr_t(__cdecl*)(void*, unsigned, unsigned(__stdcall*)(void*), void*, unsigned,
                                           unsigned*);

// Set while the hooks are installed; owned by the crash reporter that
// installed them (the import entries are process-wide).
std::atomic<TThreadTable*> gTable{nullptr};
TCreateThread gCreateThread = nullptr;
TBeginThreadEx gBeginThreadEx = nullptr;

// The new thread waits, suspended, until its record names its creator:
// its own start notice must not come first.
void Register(HANDLE thread, void* start, void* createdAt) {
    if (TThreadTable* table = gTable.load())
        table->Created(GetThreadId(thread), GetCurrentThreadId(), uintptr_t(start), {}, uintptr_t(createdAt));
}

HANDLE WINAPI CreateThreadHook(LPSECURITY_ATTRIBUTES security, SIZE_T stack, LPTHREAD_START_ROUTINE start,
                               LPVOID parameter, DWORD flags, LPDWORD id) {
    HANDLE thread = gCreateThread(security, stack, start, parameter, flags | CREATE_SUSPENDED, id);
    if (!thread) return nullptr;
    Register(thread, reinterpret_cast<void*>(start), __builtin_return_address(0));
    if (!(flags & CREATE_SUSPENDED)) ResumeThread(thread);
    return thread;
}

uintptr_t __cdecl BeginThreadExHook(void* security, unsigned stack, unsigned(__stdcall* start)(void*),
                                    void* parameter, unsigned flags, unsigned* id) {
    uintptr_t thread = gBeginThreadEx(security, stack, start, parameter, flags | CREATE_SUSPENDED, id);
    if (!thread) return 0;
    HANDLE handle = reinterpret_cast<HANDLE>(thread);
    Register(handle, reinterpret_cast<void*>(start), __builtin_return_address(0));
    if (!(flags & CREATE_SUSPENDED)) ResumeThread(handle);
    return thread;
}

// The import entry of `function` in the program file, or null.
void** ImportEntry(const char* function) {
    auto* base = reinterpret_cast<unsigned char*>(GetModuleHandleW(nullptr));
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!directory.VirtualAddress) return nullptr;
    for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress); d->Name;
         ++d) {
        if (!d->OriginalFirstThunk) continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk);
        auto* entries = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++entries) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) == 0)
                return reinterpret_cast<void**>(&entries->u1.Function);
        }
    }
    return nullptr;
}

// Swaps an import entry; returns what it held (null: no such import).
void* Swap(const char* function, void* to) {
    void** entry = ImportEntry(function);
    if (!entry) return nullptr;
    DWORD old = 0;
    if (!VirtualProtect(entry, sizeof *entry, PAGE_READWRITE, &old)) return nullptr;
    void* was = *entry;
    *entry = to;
    VirtualProtect(entry, sizeof *entry, old, &old);
    return was;
}

}  // namespace

void InstallThreadCreationHooks(TThreadTable& table) {
    gTable.store(&table);
    // The real routines are kept once found: a creation still on its way
    // through a hook when they are removed goes on with them.
    auto hook = [](const char* function, void* routine, auto& real) {
        void* was = Swap(function, routine);
        if (was && was != routine) real = reinterpret_cast<std::remove_reference_t<decltype(real)>>(was);
    };
    hook("CreateThread", reinterpret_cast<void*>(&CreateThreadHook), gCreateThread);
    hook("_beginthreadex", reinterpret_cast<void*>(&BeginThreadExHook), gBeginThreadEx);
}

void RemoveThreadCreationHooks() {
    if (gCreateThread) Swap("CreateThread", reinterpret_cast<void*>(gCreateThread));
    if (gBeginThreadEx) Swap("_beginthreadex", reinterpret_cast<void*>(gBeginThreadEx));
    gTable.store(nullptr);
}

}  // namespace qr
