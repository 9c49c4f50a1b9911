#pragma once
// The application object: its hidden window (the one that receives WM_NULL
// wake-ups, the shell's end-of-session notifications and the tray icon's
// hook), the message loop and the handler for errors nobody else handles.
#include <windows.h>

#include <exception>
#include <functional>
#include <vector>

#include "base/Text.h"
#include "base/win32/Handles.h"

namespace qr {

class TApplication {
public:
    // Returns true when the hook handled the message (the result is then in
    // `result`); hooks see every message of the application's window.
    using TWindowHook = std::function<bool(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result)>;

    TApplication();
    ~TApplication();
    TApplication(const TApplication&) = delete;
    TApplication& operator=(const TApplication&) = delete;

    HWND Handle() const { return FHandle.Get(); }
    const UString& Title() const { return FTitle; }

    bool ShowMainForm = true;
    HWND MainWindow = nullptr;
    // Runs queued main-thread work; called on WM_NULL and whenever the loop
    // finds no message waiting.
    std::function<void()> OnIdle;
    // Closes the main window when the application window is asked to close.
    std::function<void()> OnCloseRequest;
    // Runs teardown at once when the logon session ends.
    std::function<void()> OnEndSession;

    void HookMainWindow(const TWindowHook* hook);
    void UnhookMainWindow(const TWindowHook* hook);

    // The message loop; returns when a quit message is retrieved.
    void Run();
    // Every error that escapes a handler on the main thread ends here.
    void HandleException(std::exception_ptr error);
    // Replaces the default handler (a message box) for unhandled errors;
    // the program hands them to the crash reporter.
    std::function<void(std::exception_ptr)> OnException;
    bool Terminated() const { return FTerminated; }
    // The quit message's code once Run() has returned.
    int ExitCode() const { return FExitCode; }

    static TApplication* Instance() { return FInstance; }

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT Dispatch(UINT msg, WPARAM wParam, LPARAM lParam);
    void RunIdle();

    static TApplication* FInstance;
    win32::TWindowHandle FHandle;
    UString FTitle = u"Quellora Remote Server";
    std::vector<const TWindowHook*> FHooks;
    bool FTerminated = false;
    int FExitCode = 0;
};

}  // namespace qr
