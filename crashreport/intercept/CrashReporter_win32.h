#pragma once
// The crash reporter of the process. Made first thing when the program
// starts and destroyed last; while it exists, every failure the program
// does not handle itself, in any thread, reaches Report().
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "crashreport/settings/SharedSettings.h"
#include "crashreport/intercept/EmergencyReserve_win32.h"
#include "crashreport/intercept/FailureHandling_win32.h"
#include "crashreport/intercept/FailureSite_win32.h"
#include "crashreport/intercept/HandlerThread_win32.h"
#include "crashreport/intercept/PluginRegistry.h"
#include "crashreport/intercept/ThreadRegistry_win32.h"
#include "crashreport/intercept/TimeHistory.h"

namespace qr {

class TCrashReporter {
public:
    // The start-up: takes over from a restarted predecessor, cleans the
    // temporary folder, reads the settings, registers the main thread,
    // installs the interception points, starts the handler thread and
    // reserves the emergency reserve. With the "Enabled" setting off it
    // stops after the settings and intercepts nothing.
    TCrashReporter();
    // The shutdown when the process ends normally.
    ~TCrashReporter();
    TCrashReporter(const TCrashReporter&) = delete;
    TCrashReporter& operator=(const TCrashReporter&) = delete;

    // The one installed in this process; null before start-up and after
    // shutdown. The interception points reach it through this.
    static TCrashReporter* Installed() { return FInstalled.load(); }

    bool Enabled() const { return FEnabled; }
    bool IsMainThread() const { return GetCurrentThreadId() == FMainThreadId; }
    DWORD MainThreadId() const { return FMainThreadId; }
    bool IsHandlerThread() const {
        return FHandlerThread && GetCurrentThreadId() == FHandlerThread->ThreadId();
    }
    // On the handler thread, when an error that nothing caught would end
    // it: its failure is released and a new handler thread takes over.
    [[noreturn]] void ReplaceHandlerThread() { FHandlerThread->ReplaceAndExit(); }
    // The predecessor's process id when a restart started this process.
    std::optional<uint32_t> RestartedFrom() const { return FRestartedFrom; }
    TThreadTable* Threads() { return FRegistry ? &FRegistry->Table() : nullptr; }

    // The single entry point of every interception point, on the failing
    // thread; returns when the failure has been handled (or at once for
    // silent ones).
    void Report(const TFailureSite& site);
    // For an error held as an exception_ptr.
    void ReportException(std::exception_ptr error, TInterceptionPoint point, bool canContinue);

    // Runs the main thread's pending hand-offs of other threads; a main
    // thread that waits for its failure to be handled calls it on every
    // null message, so that forwarding goes on under the dialog.
    void SetSynchronizedCalls(std::function<void()> run) { FSynchronizedCalls = std::move(run); }

    // A report section of the program's own, or one that takes the place
    // of a built-in section of the same name.
    void RegisterPlugin(TReportPlugin plugin) { FPlugins.Register(std::move(plugin)); }

    // Takes the screenshots instead of the screen itself: a test seam, set
    // before the first failure.
    void SetScreenshotSource(std::function<std::optional<TScreenshot>()> take) {
        if (FHandler) FHandler->SetScreenshotSource(std::move(take));
    }

private:
    // False when the wait ended before the event was set (the quit
    // message came): the event must then stay open for the handler thread.
    bool WaitInMessageLoop(HANDLE event);

    static std::atomic<TCrashReporter*> FInstalled;

    bool FEnabled = false;
    DWORD FMainThreadId = 0;
    uint64_t FStartTick = 0;
    std::optional<uint32_t> FRestartedFrom;
    TExceptTimeHistory FHistory;
    TReportCounter FCounter;
    TPluginRegistry FPlugins;  // before the handling that reads it
    std::unique_ptr<IErrorBox> FErrorBox;
    std::unique_ptr<TSharedSettings> FSettings;
    std::unique_ptr<TThreadRegistry> FRegistry;
    std::unique_ptr<TFailureHandler> FHandler;
    std::unique_ptr<THandlerThread> FHandlerThread;
    std::unique_ptr<TEmergencyReserve> FReserve;
    std::function<void()> FSynchronizedCalls;
    std::vector<HANDLE> FAbandonedEvents;  // main thread only
};

}  // namespace qr
