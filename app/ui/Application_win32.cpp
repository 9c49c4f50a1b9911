#include "app/ui/Application_win32.h"

#include <algorithm>

#include "base/Exception.h"
#include "base/win32/WideText.h"

namespace qr {

TApplication* TApplication::FInstance = nullptr;

namespace {
const wchar_t* const kClassName = L"TApplication";
}

TApplication::TApplication() {
    FInstance = this;
    WNDCLASSW wc{};
    wc.lpfnWndProc = &TApplication::WindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kClassName;
    wc.hIcon = LoadIconW(wc.hInstance, L"MAINICON");
    RegisterClassW(&wc);
    // A hidden, zero-sized popup: never shown, only talked to.
    FHandle.Reset(CreateWindowExW(0, kClassName, win32::Wide(FTitle),
                                  WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX, 0, 0,
                                  0, 0, nullptr, nullptr, wc.hInstance, nullptr));
}

TApplication::~TApplication() {
    FHandle.Reset();
    FInstance = nullptr;
}

void TApplication::HookMainWindow(const TWindowHook* hook) { FHooks.push_back(hook); }

void TApplication::UnhookMainWindow(const TWindowHook* hook) {
    FHooks.erase(std::remove(FHooks.begin(), FHooks.end(), hook), FHooks.end());
}

LRESULT CALLBACK TApplication::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (FInstance && FInstance->FHandle.Get() == hwnd) {
        try {
            return FInstance->Dispatch(msg, wParam, lParam);
        } catch (...) {
            FInstance->HandleException(std::current_exception());
            return 0;
        }
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

LRESULT TApplication::Dispatch(UINT msg, WPARAM wParam, LPARAM lParam) {
    for (const TWindowHook* hook : std::vector<const TWindowHook*>(FHooks)) {
        LRESULT result = 0;
        if ((*hook)(msg, wParam, lParam, result)) return result;
    }
    switch (msg) {
        case WM_NULL:
            RunIdle();
            return 0;
        case WM_CLOSE:
            if (OnCloseRequest) OnCloseRequest();
            return 0;
        case WM_QUERYENDSESSION:
            return TRUE;
        case WM_ENDSESSION:
            if (wParam && OnEndSession) OnEndSession();
            return 0;
        default:
            return DefWindowProcW(FHandle.Get(), msg, wParam, lParam);
    }
}

void TApplication::RunIdle() {
    if (OnIdle) OnIdle();
}

void TApplication::Run() {
    if (ShowMainForm && MainWindow) ShowWindow(MainWindow, SW_SHOW);
    MSG msg;
    for (;;) {
        // Pending main-thread work runs before the thread sleeps.
        if (!PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            try {
                RunIdle();
            } catch (...) {
                HandleException(std::current_exception());
            }
        }
        BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1) {
            if (got == 0) FExitCode = static_cast<int>(msg.wParam);
            break;
        }
        try {
            if (MainWindow && IsDialogMessageW(MainWindow, &msg)) continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        } catch (...) {
            HandleException(std::current_exception());
        }
    }
    FTerminated = true;
}

void TApplication::HandleException(std::exception_ptr error) {
    if (OnException) {
        OnException(error);
        return;
    }
    UString text = u"Unknown exception";
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        text = Utf8ToUnicode(e.what());
    } catch (...) {
    }
    MessageBoxW(MainWindow ? MainWindow : FHandle.Get(), win32::Wide(text), win32::Wide(FTitle),
                MB_OK | MB_ICONSTOP);
}

}  // namespace qr
