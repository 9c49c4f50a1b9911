#include "crashreport/ui/ProgressAlert_win32.h"

#include <commctrl.h>

#include <utility>

#include "base/win32/WideText.h"
#include "crashreport/ui/WindowKit_win32.h"

namespace qr {

namespace {

constexpr wchar_t kClassName[] = L"prgrAlertWndClass";
constexpr UINT kUpdateMessage = WM_APP + 1;  // posted by other threads: the state changed
constexpr UINT kTextFormat = DT_WORDBREAK | DT_NOPREFIX;
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kExStyle = WS_EX_TOOLWINDOW | WS_EX_TOPMOST;
constexpr int kEdgeGap = 2;  // from the work area's edges when shown without activation

}  // namespace

TIProgressAlert::TIProgressAlert(UString title, const wchar_t* picture, HMODULE pictureModule)
    : FTitle(std::move(title)), FPictureName(win32::FromWide(picture)), FPictureModule(pictureModule) {}

TIProgressAlert::~TIProgressAlert() { Close(); }

void TIProgressAlert::SetTitle(const UString& title) {
    {
        std::lock_guard lock(FLock);
        FTitle = title;
    }
    Changed(false);
}

void TIProgressAlert::AddArea(const UString& text, int64_t weight) {
    {
        std::lock_guard lock(FLock);
        FAreas.Add(text, weight);
    }
    Changed(false);
}

void TIProgressAlert::ClearAreas() {
    {
        std::lock_guard lock(FLock);
        FAreas.Clear();
    }
    Changed(false);
}

void TIProgressAlert::AreaDone() {
    {
        std::lock_guard lock(FLock);
        FAreas.AreaDone();
    }
    Changed(false);
}

void TIProgressAlert::SetArea(size_t index) {
    {
        std::lock_guard lock(FLock);
        FAreas.SetCurrent(index);
    }
    Changed(false);
}

void TIProgressAlert::SetPosition(int position) {
    {
        std::lock_guard lock(FLock);
        FAreas.SetPosition(position);
    }
    Changed(true);
}

void TIProgressAlert::Changed(bool processMessages) {
    HWND window = FHandle.load();
    if (!window) return;
    if (GetCurrentThreadId() != FThread.load()) {
        // The window belongs to another thread: only that one may touch it.
        PostMessageW(window, kUpdateMessage, 0, 0);
        return;
    }
    Update();
    if (processMessages) ProcessMessages();
}

void TIProgressAlert::ProcessMessages() {
    HWND window = FWindow.Get();
    if (!window || GetCurrentThreadId() != FThread.load()) return;
    MSG message;
    // The window's own messages, and the painting of the thread's other
    // windows (the owner behind it); nothing else of the thread runs here.
    while (FWindow && PeekMessageW(&message, window, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    while (PeekMessageW(&message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)) DispatchMessageW(&message);
}

bool TIProgressAlert::Show(HWND owner, bool activate) {
    if (FWindow) return false;
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    if (!RegisterWindowClass(kClassName, &TIProgressAlert::WindowProc,
                             reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1)))
        return false;
    {
        std::lock_guard lock(FLock);
        FAreas.EnsureDefault();
    }
    if (!FFont) FFont = CreateDialogFont();
    if (!FPicture) FPicture = TBoxPicture(FPictureModule, win32::Wide(FPictureName), kBoxIconSize);
    FActivate = activate;
    FOwner = owner && IsWindow(owner) ? owner : nullptr;
    FShownText.clear();
    FShownTitle.clear();

    HWND window = CreateWindowExW(kExStyle | (activate ? 0 : WS_EX_NOACTIVATE), kClassName, L"", kStyle, 0, 0,
                                  0, 0, FOwner, nullptr, OwnModule(), this);
    if (!window) return false;
    FWindow.Reset(window);
    FThread.store(GetCurrentThreadId());
    HMENU menu = GetSystemMenu(window, FALSE);
    for (UINT command : {SC_SIZE, SC_MINIMIZE, SC_MAXIMIZE, SC_RESTORE})
        DeleteMenu(menu, command, MF_BYCOMMAND);
    FBar = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, window, nullptr,
                           OwnModule(), nullptr);
    if (FBar) SendMessageW(FBar, PBM_SETRANGE32, 0, 1000);
    FHandle.store(window);
    Update();

    if (FOwner) EnableWindow(FOwner, FALSE);
    if (activate) {
        ShowWindow(window, SW_SHOW);
        BringWindowToTop(window);
        SetForegroundWindow(window);
    } else {
        SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    }
    UpdateWindow(window);
    return true;
}

void TIProgressAlert::EnableOwner() {
    HWND owner = std::exchange(FOwner, nullptr);
    if (owner && IsWindow(owner)) EnableWindow(owner, TRUE);
}

void TIProgressAlert::Close() {
    // The owner first, so that it, not some other window, gets the
    // activation back when this one goes.
    EnableOwner();
    FHandle.store(nullptr);
    FWindow.Reset();
    FBar = nullptr;
}

void TIProgressAlert::Update() {
    HWND window = FWindow.Get();
    if (!window) return;
    UString title, text;
    int position;
    {
        std::lock_guard lock(FLock);
        title = FTitle;
        text = FAreas.CurrentText();
        position = FAreas.BarPosition();
    }
    if (title != FShownTitle || GetWindowTextLengthW(window) == 0) {
        SetWindowTextW(window, win32::Wide(title));
        FShownTitle = title;
    }
    if (text != FShownText || FLayout.ClientWidth == 0) {
        FShownText = text;
        win32::TWindowDC screen(nullptr);
        win32::TSelectObject font(screen.Get(), FFont.Get());
        FLayout = ProgressAlertLayout(
            [&](int wrapWidth) {
                RECT rect = {0, 0, wrapWidth, 0};
                DrawTextW(screen.Get(), win32::Wide(text), -1, &rect, DT_CALCRECT | kTextFormat);
                return TBoxSize{rect.right - rect.left, rect.bottom - rect.top};
            },
            bool(FPicture));
        if (FBar) {
            const TBoxRect& bar = FLayout.Bar;
            MoveWindow(FBar, bar.Left, bar.Top, bar.Width, bar.Height, TRUE);
        }
        Place();
        InvalidateRect(window, nullptr, TRUE);
    }
    if (FBar) SendMessageW(FBar, PBM_SETPOS, WPARAM(position), 0);
}

void TIProgressAlert::Place() {
    HWND window = FWindow.Get();
    RECT frame = {0, 0, FLayout.ClientWidth, FLayout.ClientHeight};
    AdjustWindowRectEx(&frame, kStyle, FALSE, kExStyle);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    int left, top;
    if (FActivate) {
        left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
        top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    } else {
        RECT work = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        left = work.right - kEdgeGap - width;
        top = work.bottom - kEdgeGap - height;
    }
    SetWindowPos(window, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TIProgressAlert::Paint(HWND window) {
    PaintPictureAndText(window, FPicture, FLayout.Picture, FFont.Get(), FLayout.Text, FShownText,
                        kTextFormat);
}

LRESULT CALLBACK TIProgressAlert::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<TIProgressAlert*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) return DefWindowProcW(window, message, wParam, lParam);
    return self->HandleMessage(window, message, wParam, lParam);
}

LRESULT TIProgressAlert::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case kUpdateMessage:
            Update();
            return 0;
        case WM_PAINT:
            Paint(window);
            return 0;
        case WM_CLOSE:  // it goes when the work is done, not before
            return 0;
        case WM_SYSCOMMAND:
            if ((wParam & 0xFFF0) == SC_CLOSE) return 0;
            break;
        case WM_NCDESTROY:
            // Destroyed from elsewhere (with its owner, say): the owner
            // never stays disabled.
            EnableOwner();
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            FHandle.store(nullptr);
            FWindow.Release();
            FBar = nullptr;
            break;
        default:
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace qr
