#include "app/ui/HiddenWindow_win32.h"

#include "app/ui/Application_win32.h"

namespace qr {

namespace {

LRESULT CALLBACK HiddenWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* proc = reinterpret_cast<TWindowMethod*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!proc) return DefWindowProcW(hwnd, msg, wParam, lParam);
    // An error must not unwind through the system's message dispatching.
    try {
        return (*proc)(hwnd, msg, wParam, lParam);
    } catch (...) {
        if (TApplication* application = TApplication::Instance())
            application->HandleException(std::current_exception());
        return 0;
    }
}

}  // namespace

THiddenWindow::THiddenWindow(const wchar_t* className, TWindowMethod proc)
    : FProc(std::make_unique<TWindowMethod>(std::move(proc))) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW wc{};
    if (!GetClassInfoW(instance, className, &wc)) {
        wc = WNDCLASSW{};
        wc.lpfnWndProc = &HiddenWindowProc;
        wc.hInstance = instance;
        wc.lpszClassName = className;
        RegisterClassW(&wc);
    }
    FWindow.Reset(CreateWindowExW(WS_EX_TOOLWINDOW, className, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                  instance, nullptr));
    if (FWindow) SetWindowLongPtrW(FWindow.Get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(FProc.get()));
}

THiddenWindow::~THiddenWindow() {
    // The procedure is unhooked first: it may refer to its half-destroyed owner.
    if (FWindow) SetWindowLongPtrW(FWindow.Get(), GWLP_USERDATA, 0);
    FWindow.Reset();
}

}  // namespace qr
