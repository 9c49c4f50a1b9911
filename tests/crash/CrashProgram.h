#pragma once
// The frame of a crash test program: the crash reporter started first, the
// application object with its main-loop interception point and the
// main-thread hand-off queue wired as the real program wires them, and a
// list of steps that the main loop runs one message at a time.
//
// The first lines of each program that begin with "//!" are its script:
// what the crash-test driver does and expects, in order (see
// CrashDriver_test.cpp).
#include <windows.h>

#include <deque>
#include <functional>
#include <string>

#include "app/ui/Application_win32.h"
#include "base/Exception.h"
#include "base/MainThreadQueue.h"
#include "crashreport/intercept/CrashReporter_win32.h"

namespace qr::crashtest {

class TCrashProgram {
public:
    TCrashProgram() {
        Application.ShowMainForm = false;
        Application.OnException = [this](std::exception_ptr e) {
            Reporter.ReportException(e, TInterceptionPoint::MainLoop, true);
            if (FInStep) StepEnded();
        };
        Queue.SetWakeUp([this] { PostMessageW(Application.Handle(), WM_NULL, 0, 0); });
        Queue.SetErrorHandler([this](std::exception_ptr e) {
            Reporter.ReportException(e, TInterceptionPoint::SynchronizedCall, true);
        });
        Application.OnIdle = [this] { Queue.RunQueue(); };
        Reporter.SetSynchronizedCalls([this] { Queue.RunQueue(); });
        FHook = [this](UINT msg, WPARAM, LPARAM, LRESULT& result) {
            if (msg != kStepMessage) return false;
            result = 0;
            FPending = false;
            if (FSteps.empty()) return true;
            std::function<void()> step = std::move(FSteps.front());
            FSteps.pop_front();
            FInStep = true;
            step();  // may throw: the application's window procedure reports it
            StepEnded();
            return true;
        };
        Application.HookMainWindow(&FHook);
    }
    ~TCrashProgram() {
        Reporter.SetSynchronizedCalls(nullptr);
        Application.UnhookMainWindow(&FHook);
    }

    // Runs `step` from the main loop once the steps posted before it have
    // ended (a failing one: once its failure has been handled), so that
    // each step starts from the same place.
    void Post(std::function<void()> step) {
        FSteps.push_back(std::move(step));
        if (!FPending && !FInStep) PostNextStep();
    }
    void PostQuit(int exitCode) {
        Post([exitCode] { PostQuitMessage(exitCode); });
    }
    int Run() {
        Application.Run();
        return Application.ExitCode();
    }
    // The common program: the same failure from the main loop `times`
    // times, each once the last has been handled, then the end.
    int RunFailing(const std::function<void()>& fail, int times = 1) {
        for (int i = 0; i < times; ++i) Post(fail);
        PostQuit(0);
        return Run();
    }

    // The common program for a failing thread: runs `start` in a thread of
    // its own (with `stackReserve` bytes of stack, 0: the default), which
    // must end with exit code -1 once its failure has been handled, and
    // then the main loop, which must still run. 10 to 12: it did not.
    int RunFailingThread(LPTHREAD_START_ROUTINE start, SIZE_T stackReserve = 0) {
        HANDLE thread = CreateThread(nullptr, stackReserve, start, nullptr,
                                     stackReserve ? STACK_SIZE_PARAM_IS_A_RESERVATION : 0, nullptr);
        if (!thread) return 10;
        DWORD ended = WaitForSingleObject(thread, 120000);
        DWORD threadExit = 0;
        GetExitCodeThread(thread, &threadExit);
        CloseHandle(thread);
        if (ended != WAIT_OBJECT_0) return 11;
        if (threadExit != 0xFFFFFFFF) return 12;
        PostQuit(0);
        return Run();
    }

    // The folder of the program file, with a trailing backslash.
    static std::wstring Folder() {
        wchar_t path[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, path, MAX_PATH);
        std::wstring folder(path);
        return folder.substr(0, folder.find_last_of(L'\\') + 1);
    }

    // Writes a file beside the program for the driver to find; it appears
    // under its name only once it is complete.
    static void WriteMarker(const wchar_t* name, const std::wstring& text = {}) {
        std::wstring path = Folder() + name, part = path + L".part";
        HANDLE file = CreateFileW(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return;
        DWORD written = 0;
        WriteFile(file, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written, nullptr);
        CloseHandle(file);
        MoveFileExW(part.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
    }

    // Replaces the report's section `name` by one whose completion waits
    // until the driver writes the file "release" beside the program, so
    // that the driver sees the report while it is still being completed.
    void HoldSectionUntilReleased(const char* name) {
        const std::wstring release = Folder() + L"release";
        Reporter.RegisterPlugin({name, "held until the driver releases it", [release] {
                                     // Bounded: a driver that never releases it still gets its report.
                                     for (int i = 0; i < 1200; ++i) {
                                         if (GetFileAttributesW(release.c_str()) != INVALID_FILE_ATTRIBUTES)
                                             break;
                                         Sleep(50);
                                     }
                                     return AnsiString("slow section, written once the driver allows it");
                                 }});
    }

    TCrashReporter Reporter;  // first: it starts before everything else
    TApplication Application;
    TMainThreadQueue Queue;

private:
    void StepEnded() {
        FInStep = false;
        PostNextStep();
    }
    void PostNextStep() {
        FPending = !FSteps.empty();
        if (FPending) PostMessageW(Application.Handle(), kStepMessage, 0, 0);
    }

    static constexpr UINT kStepMessage = WM_APP + 0x51;
    bool FPending = false;  // a step message is on its way
    bool FInStep = false;   // a step runs (or failed and is being reported)
    std::deque<std::function<void()>> FSteps;
    TApplication::TWindowHook FHook;
};

}  // namespace qr::crashtest
