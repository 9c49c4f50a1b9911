// Program entry of the Windows tray program.
#include <windows.h>

#include <memory>

#include "app/ui/Application_win32.h"
#include "app/FormClasses.h"
#include "app/MainForm_win32.h"
#include "crashreport/intercept/CrashReporter_win32.h"
#include "server/IdThreadSupport.h"
#include "base/MainThreadQueue.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace qr;
    // Before anything else: from here on every failure reaches the crash
    // reporter, in any thread.
    TCrashReporter crashReporter;
    // Debuggers know the main thread by this name.
    AnnounceThreadName("Main");
    try {
        TApplication application;
        application.ShowMainForm = false;
        application.OnException = [&](std::exception_ptr e) {
            crashReporter.ReportException(e, TInterceptionPoint::MainLoop, true);
        };

        // Hand-offs from connection threads run on this thread: woken by
        // WM_NULL to the application window, and whenever the loop runs dry.
        TMainThreadQueue queue;
        queue.SetWakeUp([&] { PostMessageW(application.Handle(), WM_NULL, 0, 0); });
        // The connection thread that waits for a failed hand-off goes on as
        // if it had succeeded.
        queue.SetErrorHandler([&](std::exception_ptr e) {
            crashReporter.ReportException(e, TInterceptionPoint::SynchronizedCall, true);
        });
        application.OnIdle = [&] { queue.RunQueue(); };
        crashReporter.SetSynchronizedCalls([&] { queue.RunQueue(); });

        std::unique_ptr<TMainForm> form =
            std::make_unique<TMainForm>(application, queue, LoadMainFormDescription());
        application.OnCloseRequest = [&] { form->Close(); };
        application.OnEndSession = [&] {
            // The logon ends: tear down at once, without returning to the loop.
            form.reset();
            ExitProcess(0);
        };
        application.Run();
        crashReporter.SetSynchronizedCalls(nullptr);
        form.reset();
    } catch (...) {
        crashReporter.SetSynchronizedCalls(nullptr);
        // The program's outermost frame: nothing can go on from here.
        crashReporter.ReportException(std::current_exception(), TInterceptionPoint::OutermostFrame, false);
        return 1;
    }
    return 0;
}
