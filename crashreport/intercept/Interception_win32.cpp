#include "crashreport/intercept/Interception_win32.h"

#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "base/win32/ThreadNaming.h"
#include "crashreport/system/OwnThreads_win32.h"
#include "crashreport/intercept/CrashReporter_win32.h"
#include "crashreport/intercept/ProcessorFaults_win32.h"
#include "crashreport/intercept/Restart_win32.h"
#include "crashreport/intercept/RuntimeHooks_win32.h"
#include "crashreport/intercept/ThreadCreationHooks_win32.h"

namespace qr {

namespace {

// The reporter the process-wide hooks report to; set while installed.
std::atomic<TCrashReporter*> gReporter{nullptr};
LPTOP_LEVEL_EXCEPTION_FILTER gOldFilter = nullptr;
std::terminate_handler gOldTerminate = nullptr;
PVOID gNamingHandler = nullptr;

// The C++ runtime's own exception codes ("GCC" and a kind byte): a throw
// that no frame catches comes back to the thrower once the filter lets it
// continue, and the runtime then calls std::terminate.
bool IsRuntimeThrow(DWORD code) { return (code & 0x00FFFFFF) == 0x00474343; }

using win32::kThreadNamingException;
using win32::TThreadNameInfo;

// The completion and the sending thread just end on an error nothing
// caught: the handler thread may be waiting for them.
void EndIfCrashReporterThread() {
    const DWORD self = GetCurrentThreadId();
    if (!IsCrashReporterThread(self)) return;
    UnmarkCrashReporterThread(self);
    ExitThread(0xFFFFFFFF);
}

LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* info) {
    TCrashReporter* reporter = gReporter.load();
    if (!reporter || !info || !info->ExceptionRecord) return EXCEPTION_CONTINUE_SEARCH;
    const DWORD code = info->ExceptionRecord->ExceptionCode;
    if (IsRuntimeThrow(code)) return EXCEPTION_CONTINUE_EXECUTION;
    if (code == kThreadNamingException) return EXCEPTION_CONTINUE_EXECUTION;
    // A fault that no handler took: thrown from its site after all, so
    // that the catch of the place it happened (or the terminate handler)
    // sees it as an error object.
    if (ThrowUnhandledFault(*info)) return EXCEPTION_CONTINUE_EXECUTION;
    // The handler thread never reports into itself.
    if (reporter->IsHandlerThread()) reporter->ReplaceHandlerThread();
    EndIfCrashReporterThread();
    const bool main = reporter->IsMainThread();
    TFailureSite site;
    site.Point = main ? TInterceptionPoint::OutermostFrame : TInterceptionPoint::ThreadStart;
    site.CanContinue = !main;
    site.SystemRecord = info->ExceptionRecord;
    site.Context = info->ContextRecord;
    site.Address = info->ExceptionRecord->ExceptionAddress;
    reporter->Report(site);
    if (main) CloseProgram();
    // Only this thread ends.
    ExitThread(0xFFFFFFFF);
}

// A run-time error cannot be continued: reported, then the program closes.
[[noreturn]] void ReportRuntimeError(const char* text, void* address) {
    if (TCrashReporter* reporter = gReporter.load()) {
        TFailureSite site;
        site.Point = TInterceptionPoint::RuntimeError;
        site.CanContinue = false;
        site.RuntimeText = text;
        site.Address = address;
        reporter->Report(site);
    }
    CloseProgram();
}

[[noreturn]] void OnTerminate() {
    TCrashReporter* reporter = gReporter.load();
    std::exception_ptr error = std::current_exception();
    if (reporter) {
        if (reporter->IsHandlerThread()) reporter->ReplaceHandlerThread();
        EndIfCrashReporterThread();
        const bool main = reporter->IsMainThread();
        if (error) {
            // An error escaped a thread's start routine (or the program's
            // last frame): the thread ends, the program may go on.
            reporter->ReportException(
                error, main ? TInterceptionPoint::OutermostFrame : TInterceptionPoint::ThreadStart, !main);
            if (!main) ExitThread(0xFFFFFFFF);
        } else {
            ReportRuntimeError("Runtime error", __builtin_return_address(0));
        }
    }
    CloseProgram();
}

void OnInvalidParameter(const wchar_t*, const wchar_t*, const wchar_t*, unsigned, uintptr_t) {
    ReportRuntimeError("Invalid parameter passed to a runtime function", __builtin_return_address(0));
}

void OnPureVirtualCall(void* callerAddress) {
    ReportRuntimeError("Pure virtual function call", callerAddress);
}

// Looks at the thread-naming exception only; every other exception goes
// on to the program's own handlers untouched.
LONG CALLBACK OnThreadNaming(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD* record = info ? info->ExceptionRecord : nullptr;
    if (!record || record->ExceptionCode != kThreadNamingException) return EXCEPTION_CONTINUE_SEARCH;
    TCrashReporter* reporter = gReporter.load();
    if (reporter && reporter->Threads() &&
        record->NumberParameters * sizeof(ULONG_PTR) >= sizeof(TThreadNameInfo)) {
        TThreadNameInfo name;
        std::memcpy(&name, record->ExceptionInformation, sizeof name);
        DWORD id = name.ThreadId == DWORD(-1) ? GetCurrentThreadId() : name.ThreadId;
        // The initial thread keeps the name the crash reporter gave it.
        if (name.Type == 0x1000 && name.Name && !IsBadStringPtrA(name.Name, 64) &&
            id != reporter->MainThreadId())
            reporter->Threads()->Named(id, std::string_view(name.Name, strnlen(name.Name, 63)));
    }
    return EXCEPTION_CONTINUE_EXECUTION;
}

// Room on this thread's stack for reporting its overflow.
void GuardStack() {
    constexpr ULONG kRoom = 64 * 1024;
    ULONG guarantee = kRoom;
    SetThreadStackGuarantee(&guarantee);
    ArmStackGuard(kRoom);
}

uint64_t StartAddressOf(HANDLE thread) {
    using TQuery = LONG(NTAPI*)(HANDLE, int, PVOID, ULONG, PULONG);
    static const auto query = reinterpret_cast<TQuery>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationThread")));
    PVOID start = nullptr;
    constexpr int kThreadQuerySetWin32StartAddress = 9;
    if (!query || query(thread, kThreadQuerySetWin32StartAddress, &start, sizeof start, nullptr) != 0)
        return 0;
    return reinterpret_cast<uintptr_t>(start);
}

// Runs in every thread as it starts and ends (the loader's per-thread
// notification of the program file).
void NTAPI OnThreadEvent(PVOID, DWORD reason, PVOID) {
    if (reason == DLL_THREAD_ATTACH) AttachThrowNote();
    if (reason == DLL_THREAD_DETACH) DetachThrowNote();
    TCrashReporter* reporter = gReporter.load();
    if (!reporter || !reporter->Threads()) return;
    if (reason == DLL_THREAD_ATTACH) {
        GuardStack();
        reporter->Threads()->Created(GetCurrentThreadId(), 0, StartAddressOf(GetCurrentThread()));
    } else if (reason == DLL_THREAD_DETACH) {
        reporter->Threads()->Remove(GetCurrentThreadId());
    }
}

}  // namespace

// The loader calls the callbacks in the ".CRT$XL?" sections of the program
// file for every thread.
extern "C" __attribute__((section(".CRT$XLQ"), used)) const PIMAGE_TLS_CALLBACK qrCrashThreadCallback =
    &OnThreadEvent;

void InstallInterception(TCrashReporter& reporter) {
    gReporter.store(&reporter);
    AttachThrowNote();
    GuardStack();
    gNamingHandler = AddVectoredExceptionHandler(1, &OnThreadNaming);
    InstallProcessorFaults();
    gOldFilter = SetUnhandledExceptionFilter(&OnUnhandledException);
    gOldTerminate = std::set_terminate(&OnTerminate);
    _set_invalid_parameter_handler(&OnInvalidParameter);
    SetPureVirtualHandler(&OnPureVirtualCall);
    if (reporter.Threads()) InstallThreadCreationHooks(*reporter.Threads());
}

void RemoveInterception() {
    RemoveThreadCreationHooks();
    SetPureVirtualHandler(nullptr);
    _set_invalid_parameter_handler(nullptr);
    std::set_terminate(gOldTerminate);
    SetUnhandledExceptionFilter(gOldFilter);
    RemoveProcessorFaults();
    if (gNamingHandler) RemoveVectoredExceptionHandler(gNamingHandler);
    gNamingHandler = nullptr;
    gReporter.store(nullptr);
}

}  // namespace qr
