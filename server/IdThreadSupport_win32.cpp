// Thread names follow the debugger convention: the exception 0x406D1388
// carrying a name record. mingw has no __try, so the exception is caught by
// a vectored handler that continues execution; it is appended after any
// handler installed before it (the crash reporter records the names).
#include <windows.h>
#include <process.h>

#include <cerrno>
#include <memory>
#include <system_error>

#include "base/win32/Handles.h"
#include "base/win32/ThreadNaming.h"
#include "server/IdThreadSupport.h"

namespace qr {

namespace {

using win32::kThreadNamingException;
using win32::TThreadNameInfo;

LONG CALLBACK ContinueThreadNaming(PEXCEPTION_POINTERS info) {
    if (info && info->ExceptionRecord && info->ExceptionRecord->ExceptionCode == kThreadNamingException)
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
    RaiseException(kThreadNamingException, 0, sizeof info / sizeof(ULONG_PTR),
                   reinterpret_cast<const ULONG_PTR*>(&info));
}

void SetCurrentThreadPriorityHighest() { SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST); }

namespace {

unsigned __stdcall RunDetached(void* parameter) {
    std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(parameter));
    (*body)();
    return 0;
}

}  // namespace

// Through the C runtime's thread start, so that its per-thread data is set
// up and freed. A plain size would only set how much of the executable's
// reservation (1 MiB) is committed at once; as a reservation it bounds the
// stack, and Wine commits a thread's whole stack reservation up front, so
// a thousand idle connections would otherwise hold a gigabyte and more.
void StartDetachedThread(std::function<void()> body, size_t stackReserve) {
    auto owned = std::make_unique<std::function<void()>>(std::move(body));
    uintptr_t handle = _beginthreadex(nullptr, unsigned(stackReserve), RunDetached, owned.get(),
                                      STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (handle == 0) throw std::system_error(errno, std::generic_category(), "connection thread");
    owned.release();                                            // the thread owns it now
    win32::THandle unjoined(reinterpret_cast<HANDLE>(handle));  // nobody joins: closed at once
}

}  // namespace qr
