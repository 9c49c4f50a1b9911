#include "app/ShellSeam_win32.h"

#include <memory>

namespace qr {

TShellNotifyIcon& ShellNotifyIcon() {
    static TShellNotifyIcon call = [](DWORD message, NOTIFYICONDATAW* data) {
        return Shell_NotifyIconW(message, data);
    };
    return call;
}

namespace {

LRESULT CALLBACK HiddenWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* proc = reinterpret_cast<TWindowMethod*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (proc) return (*proc)(hwnd, msg, wParam, lParam);
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

}  // namespace

HWND AllocateHWnd(const wchar_t* className, TWindowMethod proc) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW wc{};
    if (!GetClassInfoW(instance, className, &wc)) {
        wc = WNDCLASSW{};
        wc.lpfnWndProc = &HiddenWindowProc;
        wc.hInstance = instance;
        wc.lpszClassName = className;
        RegisterClassW(&wc);
    }
    HWND window = CreateWindowExW(WS_EX_TOOLWINDOW, className, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                  instance, nullptr);
    if (window)
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(new TWindowMethod(std::move(proc))));
    return window;
}

void DeallocateHWnd(HWND window) {
    if (!window) return;
    auto* proc = reinterpret_cast<TWindowMethod*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    DestroyWindow(window);
    delete proc;
}

}  // namespace qr
