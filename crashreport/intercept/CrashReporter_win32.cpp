#include "crashreport/intercept/CrashReporter_win32.h"

#include <cxxabi.h>

#include "base/Exception.h"
#include "crashreport/system/OwnThreads_win32.h"
#include "crashreport/intercept/Interception_win32.h"
#include "crashreport/intercept/LoaderLock_win32.h"
#include "crashreport/intercept/ProcessorFaults_win32.h"
#include "crashreport/intercept/Restart_win32.h"
#include "crashreport/intercept/TempFolder_win32.h"
#include "crashreport/intercept/RuntimeHooks_win32.h"

namespace qr {

std::atomic<TCrashReporter*> TCrashReporter::FInstalled{nullptr};

TCrashReporter::TCrashReporter() : FMainThreadId(GetCurrentThreadId()), FStartTick(GetTickCount64()) {
    if (std::optional<TRestartHandOver> handOver = TakeOverRestart()) {
        FRestartedFrom = handOver->OldProcessId;
        FHistory.TakeOver(handOver->History);
    }
    CleanCrashTempFolder(true);

    FErrorBox = CreateSystemErrorBox();
    FSettings = TSharedSettings::Open(*FErrorBox);
    std::unique_ptr<TIMESettings> settings;
    try {
        if (FSettings) settings = FSettings->ModuleSettings(nullptr);
    } catch (const std::exception&) {
        settings.reset();
    }
    // Without settings nothing is intercepted.
    if (!settings || !settings->GetBoolean("Enabled")) return;

    FRegistry = TThreadRegistry::Open();
    if (!FRegistry) {
        MessageBoxW(nullptr, L"internal error (opening global buffer)", L"Tobrisk", MB_OK | MB_ICONERROR);
        ExitProcess(0);
    }
    FRegistry->Table().Named(FMainThreadId, "main thread");

    THandlingEnvironment environment;
    environment.Settings = FSettings.get();
    environment.Threads = &FRegistry->Table();
    environment.History = &FHistory;
    environment.Counter = &FCounter;
    environment.MainThreadId = FMainThreadId;
    environment.StartTick = FStartTick;
    environment.Plugins = &FPlugins;
    FHandler = std::make_unique<TFailureHandler>(environment);
    FHandlerThread = std::make_unique<THandlerThread>(
        [this](const TExceptRequestRec& request) { FHandler->Handle(request, true); });
    if (DWORD id = FHandlerThread->ThreadId()) FRegistry->Table().Named(id, THandlerThread::kName);
    FReserve = std::make_unique<TEmergencyReserve>();

    // Everything a failure needs exists: from here on failures are caught.
    FEnabled = true;
    FInstalled.store(this);
    InstallInterception(*this);
}

TCrashReporter::~TCrashReporter() {
    if (!FEnabled) return;
    RemoveInterception();
    // A failure whose thread stopped waiting (the quit message came) may
    // still have its dialog open: its report is saved before the handler
    // thread goes.
    if (FHandler) FHandler->SaveUnfinished();
    FHandlerThread.reset();
    // The handler thread is gone: nothing sets these events any more.
    for (HANDLE event : FAbandonedEvents) CloseHandle(event);
    FAbandonedEvents.clear();
    FInstalled.store(nullptr);
    if (FRegistry) FRegistry->Table().Remove(FMainThreadId);
    FReserve.reset();
}

void TCrashReporter::ReportException(std::exception_ptr error, TInterceptionPoint point, bool canContinue) {
    if (!error) return;
    if (point == TInterceptionPoint::MainLoop) {
        // A window that holds the mouse would keep it under the dialog.
        if (HWND capture = GetCapture()) SendMessageW(capture, WM_CANCELMODE, 0, 0);
    }
    TFailureSite site;
    site.Point = point;
    site.CanContinue = canContinue;
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        site.Object = &e;
        Report(site);
    } catch (...) {
        site.Type = abi::__cxa_current_exception_type();
        Report(site);
    }
}

void TCrashReporter::Report(const TFailureSite& given) {
    if (!FEnabled) return;
    const DWORD thread = GetCurrentThreadId();
    if (FHandlerThread && thread == FHandlerThread->ThreadId()) return;
    // Nor from the completion or the sending thread, which the handler
    // thread may be waiting for.
    if (IsCrashReporterThread(thread)) return;
    FReserve->Release();

    TFailureSite site = given;
    // A processor fault thrown as an error: its place, registers and call
    // stack are those of the faulting instruction.
    const auto* fault = site.Object ? dynamic_cast<const EExternal*>(site.Object) : nullptr;
    if (fault) {
        site.Address = fault->Fault().Address;
        site.Context = &fault->Fault().Context;
        site.PreparedStack = fault->Fault().Frames;
        site.PreparedFrames = fault->Fault().FrameCount;
    }
    // The location of a C++ error is where it was thrown. The record points
    // at a copy of the note in this frame, which lives until the failure
    // has been handled: a throw while this thread waits (a hand-off run in
    // the wait's message loop) rewrites the note itself.
    TThrowNote noted;
    if (!site.Address && !site.SystemRecord) {
        const TThrowNote* note = CurrentThrowNote();
        const void* object = site.Object ? dynamic_cast<const void*>(site.Object) : nullptr;
        if (note && (!site.Object || note->Object == object)) {
            noted = *note;
            site.Address = noted.Address;
            if (!site.Context && noted.HasContext) site.Context = &noted.Context;
            site.PreparedStack = noted.Frames;
            site.PreparedFrames = noted.FrameCount;
        }
    }

    if (site.Object && dynamic_cast<const EAbort*>(site.Object)) {
        ClearThrowNote();
        if (!site.CanContinue) CloseProgram();
        return;
    }

    TExceptRequestRec request{};
    request.ThreadId = thread;
    request.Kind = TExceptionKind::Normal;
    request.Site = &site;
    request.ExceptAddress = site.Address;
    request.CanContinue = site.CanContinue;
    request.StackPointer = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
    request.FramePointer = request.StackPointer;
    if (site.Context) {
#if defined(_M_X64) || defined(__x86_64__)
        const uintptr_t ip = site.Context->Rip, sp = site.Context->Rsp, fp = site.Context->Rbp;
#else
        const uintptr_t ip = site.Context->Eip, sp = site.Context->Esp, fp = site.Context->Ebp;
#endif
        const auto address = reinterpret_cast<uintptr_t>(site.Address);
        if (address >= ip && address <= ip + 4) {
            request.StackPointer = sp;
            request.FramePointer = fp;
        }
    }
    request.Context = site.Context;
    request.Point = site.Point;
    request.RelatedObject = site.RelatedObject;
    request.PreparedStack = site.PreparedFrames ? const_cast<void**>(site.PreparedStack) : nullptr;

    if (LoaderOrEnvironmentLockStaysHeld()) {
        // No new thread could start: handle it here.
        FHandler->Handle(request, false);
    } else {
        HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (!event) return;
        request.Event = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(event));
        if (!FHandlerThread || !FHandlerThread->Send(request)) {
            CloseHandle(event);
            return;
        }
        bool answered = true;
        if (IsMainThread())
            answered = WaitInMessageLoop(event);
        else
            // The handler thread sets it when the user has answered.
            WaitForSingleObject(event, INFINITE);
        if (answered)
            CloseHandle(event);
        else
            // The handler thread still sets it once the dialog is answered.
            FAbandonedEvents.push_back(event);
    }
    ClearThrowNote();
    FReserve->Reserve();
    if (fault && dynamic_cast<const EStackOverflow*>(fault)) RearmStackGuard(fault->Fault());
}

// The main thread keeps its windows and the hand-offs of other threads
// going while its failure is handled. A quit message ends the wait: it is
// posted again with its exit code, so that the program ends normally while
// the dialog may still be open (the shutdown saves that report). Until the
// handler thread has copied the record's data, which point into this
// thread's frame, the wait goes on without the quit message.
bool TCrashReporter::WaitInMessageLoop(HANDLE event) {
    // How often the wait looks whether the record has been taken once the
    // quit message is held: the handler thread does not signal that.
    constexpr DWORD kTakenPoll = 10;
    std::optional<WPARAM> quit;
    auto done = [&] {
        if (WaitForSingleObject(event, 0) == WAIT_OBJECT_0) return true;
        return quit && FHandler->HasTaken(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(event)));
    };
    while (!done()) {
        DWORD woke = MsgWaitForMultipleObjectsEx(1, &event, quit ? kTakenPoll : INFINITE, QS_ALLINPUT,
                                                 MWMO_INPUTAVAILABLE);
        if (woke == WAIT_OBJECT_0 || woke == WAIT_FAILED) break;
        MSG msg;
        while (!done() && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                quit = msg.wParam;
                continue;
            }
            // A null message to a window runs the hand-offs through that
            // window's procedure; one to the thread (the handler thread's
            // wake-up) runs them here.
            if (msg.message == WM_NULL && !msg.hwnd && FSynchronizedCalls) {
                try {
                    FSynchronizedCalls();
                } catch (...) {
                    // Each hand-off reports its own errors.
                }
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    if (!quit) return true;
    PostQuitMessage(static_cast<int>(*quit));
    return WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
}

}  // namespace qr
