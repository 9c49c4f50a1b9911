// Program entry of the Windows tray program.
#include <windows.h>

#include <memory>

#include "app/ui/Application_win32.h"
#include "app/FormClasses.h"
#include "app/MainForm_win32.h"
#include "server/IdThreadSupport.h"
#include "base/MainThreadQueue.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace qr;
    // Debuggers and the crash reporter know the main thread by this name.
    AnnounceThreadName("Main");
    TApplication application;
    application.ShowMainForm = false;

    // Hand-offs from connection threads run on this thread: woken by WM_NULL
    // to the application window, and whenever the loop runs dry.
    TMainThreadQueue queue;
    queue.SetWakeUp([&] { PostMessageW(application.Handle(), WM_NULL, 0, 0); });
    queue.SetErrorHandler([&](std::exception_ptr e) { application.HandleException(e); });
    application.OnIdle = [&] { queue.RunQueue(); };

    std::unique_ptr<TMainForm> form;
    try {
        form = std::make_unique<TMainForm>(application, queue, LoadMainFormDescription());
    } catch (...) {
        // Without its window the program cannot run.
        application.HandleException(std::current_exception());
        return 1;
    }
    application.OnCloseRequest = [&] { form->Close(); };
    application.OnEndSession = [&] {
        // The logon ends: tear down at once, without returning to the loop.
        form.reset();
        ExitProcess(0);
    };
    application.Run();
    form.reset();
    return 0;
}
