// Thread names follow the debugger convention: the exception 0x406D1388
// carrying a name record. mingw has no __try, so the exception is caught by
// a vectored handler that continues execution; it is appended after any
// handler installed before it (the crash reporter records the names).
#include <windows.h>

#include "server/IdThreadSupport.h"

namespace qr {

namespace {

constexpr DWORD kSetThreadNameException = 0x406D1388;

#pragma pack(push, 8)
struct TThreadNameInfo {
    DWORD Type;  // 0x1000
    LPCSTR Name;
    DWORD ThreadId;  // -1: the calling thread
    DWORD Flags;
};
#pragma pack(pop)

LONG CALLBACK ContinueThreadNaming(PEXCEPTION_POINTERS info) {
    if (info && info->ExceptionRecord && info->ExceptionRecord->ExceptionCode == kSetThreadNameException)
        return EXCEPTION_CONTINUE_EXECUTION;
    return EXCEPTION_CONTINUE_SEARCH;
}

// The handler registration, installed on first use and removed when the
// process ends.
class TThreadNamingHandler {
public:
    TThreadNamingHandler() : FHandle(AddVectoredExceptionHandler(0, ContinueThreadNaming)) {}
    ~TThreadNamingHandler() {
        if (FHandle) RemoveVectoredExceptionHandler(FHandle);
    }
    bool Installed() const { return FHandle != nullptr; }

private:
    PVOID FHandle;
};

}  // namespace

void AnnounceThreadName(const std::string& name) {
    static TThreadNamingHandler handler;
    // Without the handler the exception would end the process.
    if (!handler.Installed()) return;
    TThreadNameInfo info;
    info.Type = 0x1000;
    info.Name = name.c_str();
    info.ThreadId = DWORD(-1);
    info.Flags = 0;
    RaiseException(kSetThreadNameException, 0, sizeof info / sizeof(ULONG_PTR),
                   reinterpret_cast<const ULONG_PTR*>(&info));
}

void SetCurrentThreadPriorityHighest() { SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST); }

}  // namespace qr
