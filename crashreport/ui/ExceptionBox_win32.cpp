#include "crashreport/ui/ExceptionBox_win32.h"

#include <algorithm>
#include <cstring>

#include "base/win32/WideText.h"

namespace qr {

namespace {

constexpr wchar_t kClassName[] = L"TobriskWndClass";
constexpr int kFirstButtonId = 100;
const wchar_t* const kPictureNames[kBoxButtonCount] = {L"MEISEND",     L"MEISAVE",    L"MEIPRINT", L"MEISHOW",
                                                       L"MEICONTINUE", L"MEIRESTART", L"MEICLOSE"};
constexpr int kButtonPictureSize = 16;
constexpr int kPictureInset = 3;  // from the button's left and top
constexpr int kCaptionTop = 4;    // from the button's top
constexpr int kBlendSteps = 8;    // focus blend: 8 steps
constexpr UINT kBlendTimer = 1;   // ...10 ms apart
constexpr UINT kBlendInterval = 10;
constexpr DWORD kFlashAfterFocus = 200;  // a click this soon after a focus move does not flash
// How long the click flash shows the pressed look. The dialog's own thread
// sleeps that long; the user has just clicked, nothing else waits on it.
constexpr DWORD kFlashTime = 60;
constexpr UINT kTextFormat = DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS;

// The window procedure's module: the one holding this code, which need not
// be the program file.
HINSTANCE OwnModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&OwnModule), &module);
    return module;
}

// Lends a window's painting device context between BeginPaint and EndPaint.
class TPaint {
public:
    explicit TPaint(HWND window) : FWindow(window) { FDC = BeginPaint(window, &FPaint); }
    ~TPaint() { EndPaint(FWindow, &FPaint); }
    TPaint(const TPaint&) = delete;
    TPaint& operator=(const TPaint&) = delete;
    HDC Get() const { return FDC; }

private:
    HWND FWindow;
    PAINTSTRUCT FPaint;
    HDC FDC;
};

// The clipboard, open for the owner's lifetime.
class TOpenClipboard {
public:
    // Another program may hold the clipboard for a moment: a few tries,
    // 10 ms apart, before the copy is given up.
    explicit TOpenClipboard(HWND owner) {
        for (int i = 0; i < 10 && !(FOpen = OpenClipboard(owner) != FALSE); ++i) Sleep(10);
    }
    ~TOpenClipboard() {
        if (FOpen) CloseClipboard();
    }
    TOpenClipboard(const TOpenClipboard&) = delete;
    TOpenClipboard& operator=(const TOpenClipboard&) = delete;
    explicit operator bool() const { return FOpen; }

private:
    bool FOpen = false;
};

void FillColour(HDC dc, const RECT& rect, TColour colour) {
    win32::TBrush brush(CreateSolidBrush(colour));
    FillRect(dc, &rect, brush.Get());
}

}  // namespace

TExceptionBox::TExceptionBox(TBoxContent content, TActionHandler onAction, HMODULE pictures)
    : FContent(std::move(content)), FOnAction(std::move(onAction)), FPictureModule(pictures) {}

TExceptionBox::~TExceptionBox() = default;

LRESULT CALLBACK TExceptionBox::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<TExceptionBox*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) return DefWindowProcW(window, message, wParam, lParam);
    return self->HandleMessage(window, message, wParam, lParam);
}

void TExceptionBox::CreateFonts() {
    // "Tahoma" where the system has it; GDI silently substitutes another
    // face otherwise, which the face name it reports back shows.
    win32::TMemoryDC dc(CreateCompatibleDC(nullptr));
    auto make = [](const wchar_t* face, int height) {
        return win32::TFontHandle(CreateFontW(-height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                                              DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                              DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face));
    };
    FFont = make(L"Tahoma", 11);
    wchar_t face[LF_FACESIZE] = {};
    if (FFont && dc) {
        win32::TSelectObject select(dc.Get(), FFont.Get());
        GetTextFaceW(dc.Get(), LF_FACESIZE, face);
    }
    if (!FFont || lstrcmpiW(face, L"Tahoma") != 0) FFont = make(L"MS Sans Serif", 12);
}

int TExceptionBox::CaptionWidth(HDC dc, const UString& caption) const {
    RECT rect = {0, 0, 0, 0};
    DrawTextW(dc, win32::Wide(caption), -1, &rect, DT_CALCRECT | DT_SINGLELINE);
    return rect.right - rect.left;
}

void TExceptionBox::Create() {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &TExceptionBox::WindowProc;
    windowClass.hInstance = OwnModule();
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kClassName;
    // Registered once per process; a second dialog finds it in place.
    if (!RegisterClassExW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        throw EExceptionBoxError("the crash dialog's window class could not be registered");

    CreateFonts();
    FIcon = TBoxPicture(FPictureModule, L"MEIBIG", kBoxIconSize);
    for (int i = 0; i < kBoxButtonCount; ++i)
        FPictures[i] = TBoxPicture(FPictureModule, kPictureNames[i], kButtonPictureSize);
    FCantContinue = TBoxPicture(FPictureModule, L"MEICANTCONTINUE", kButtonPictureSize);

    // Measure with the dialog's font.
    win32::TWindowDC screen(nullptr);
    FBitsPerPixel = GetDeviceCaps(screen.Get(), BITSPIXEL) * GetDeviceCaps(screen.Get(), PLANES);
    win32::TSelectObject select(screen.Get(), FFont.Get());
    auto measure = [&](int wrapWidth) {
        RECT rect = {0, 0, wrapWidth, 0};
        DrawTextW(screen.Get(), win32::Wide(FContent.Text), -1, &rect, DT_CALCRECT | kTextFormat);
        return TBoxSize{rect.right - rect.left, rect.bottom - rect.top};
    };
    if (FContent.PlainBox) {
        FLayout = PlainBoxLayout(FContent, CaptionWidth(screen.Get(), FContent.OkCaption),
                                 CaptionWidth(screen.Get(), FContent.DetailsCaption), measure, bool(FIcon));
    } else {
        int widths[kBoxButtonCount];
        for (int i = 0; i < kBoxButtonCount; ++i)
            widths[i] = CaptionWidth(screen.Get(), FContent.Captions[i]);
        FLayout = SmallBoxLayout(FContent, widths, measure, bool(FIcon));
    }

    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    const DWORD exStyle = WS_EX_DLGMODALFRAME | WS_EX_TOPMOST;
    RECT frame = {0, 0, FLayout.ClientWidth, FLayout.ClientHeight};
    AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    const int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    const int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    HWND window = CreateWindowExW(exStyle, kClassName, win32::Wide(FContent.Title), style, left, top, width,
                                  height, nullptr, nullptr, OwnModule(), this);
    if (!window) throw EExceptionBoxError("the crash dialog's window could not be created");
    FWindow.Reset(window);

    HMENU menu = GetSystemMenu(window, FALSE);
    for (UINT command : {SC_SIZE, SC_MINIMIZE, SC_MAXIMIZE, SC_RESTORE})
        DeleteMenu(menu, command, MF_BYCOMMAND);

    CreateButtons(window);
    // The failure cannot go on: continue stays visible but disabled while
    // another way out is offered.
    HWND continueButton = Button(int(TBoxButton::Continue));
    if (!FContent.PlainBox && !FContent.CanContinue && continueButton &&
        (Button(int(TBoxButton::Restart)) || Button(int(TBoxButton::Close))))
        EnableWindow(continueButton, FALSE);

    int focus = FContent.PlainBox ? int(TBoxButton::Continue) : FContent.FocusedBtn;
    if (!Button(focus) || !IsWindowEnabled(Button(focus))) {
        focus = -1;
        for (int i = 0; i < kBoxButtonCount && focus < 0; ++i)
            if (Button(i) && IsWindowEnabled(Button(i))) focus = i;
    }
    // The first focus shows at once, without the blend.
    FFocused = focus;
    if (focus >= 0) FBlend[focus] = kBlendSteps;

    if (FContent.FirstOpening) MessageBeep(MB_ICONHAND);
    ShowWindow(window, SW_SHOW);
    if (IsIconic(window)) ShowWindow(window, SW_RESTORE);
    BringWindowToTop(window);
    SetForegroundWindow(window);
    if (focus >= 0) SetFocus(Button(focus));
    FFocusMovedAt = GetTickCount();
}

void TExceptionBox::CreateButtons(HWND window) {
    for (int i = 0; i < kBoxButtonCount; ++i) {
        const TBoxRect& r = FLayout.Buttons[i];
        if (!FContent.Visible[i] || r.Empty()) continue;
        DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_NOTIFY;
        const UString* caption = &FContent.Captions[i];
        if (FContent.PlainBox) {
            const bool ok = i == int(TBoxButton::Continue);
            style |= ok ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
            caption = ok ? &FContent.OkCaption : &FContent.DetailsCaption;
        } else {
            style |= BS_OWNERDRAW;
        }
        FButtons[i] = CreateWindowExW(0, L"BUTTON", win32::Wide(*caption), style, r.Left, r.Top, r.Width,
                                      r.Height, window, reinterpret_cast<HMENU>(INT_PTR(kFirstButtonId + i)),
                                      OwnModule(), nullptr);
        if (!FButtons[i]) throw EExceptionBoxError("the crash dialog's buttons could not be created");
        SendMessageW(FButtons[i], WM_SETFONT, reinterpret_cast<WPARAM>(FFont.Get()), FALSE);
    }
}

TBoxButton TExceptionBox::Run() {
    Create();
    MSG message;
    while (FWindow) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == -1) break;
        if (got == 0) {
            // The thread is asked to end: hand the request on to the loop
            // that runs after the dialog, and close as the escape key would.
            PostQuitMessage(int(message.wParam));
            FResult = EscapeButton(FContent);
            FWindow.Reset();
            break;
        }
        if (PreTranslate(message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return FResult;
}

bool TExceptionBox::PreTranslate(const MSG& message) {
    HWND window = FWindow.Get();
    if (!window || (message.hwnd != window && !IsChild(window, message.hwnd))) return false;
    if (message.message == WM_KEYDOWN) {
        switch (message.wParam) {
            case VK_ESCAPE:
                Act(EscapeButton(FContent));
                return true;
            case VK_RETURN: {
                // The key was sent to the window that had the focus when it
                // was pressed; asking for the focus now can answer nothing
                // while another window is being activated.
                HWND target = message.hwnd != window ? message.hwnd : GetFocus();
                for (int i = 0; i < kBoxButtonCount; ++i)
                    if (Button(i) && Button(i) == target) Click(i);
                return true;
            }
            case VK_F1:  // no help in this program
                return true;
            default:
                break;
        }
    }
    if (message.message == WM_CHAR && message.wParam == 3) {  // Ctrl+C as the keyboard translates it
        CopyMessage();
        return true;
    }
    // Tab, the arrow keys and mnemonics as in a dialog box.
    return IsDialogMessageW(window, const_cast<MSG*>(&message)) != FALSE;
}

void TExceptionBox::Click(int index) {
    HWND button = Button(index);
    if (!button || !IsWindowEnabled(button)) return;
    Flash(index);
    Act(TBoxButton(index));
}

void TExceptionBox::Act(TBoxButton button) {
    switch (button) {
        case TBoxButton::Send:
        case TBoxButton::Save:
        case TBoxButton::Print:
            // A failing action leaves the dialog open: failures inside the
            // crash reporter's own handling are never reported.
            try {
                if (FOnAction) FOnAction(button, FWindow.Get());
            } catch (...) {
            }
            return;
        default:
            FResult = button;
            FWindow.Reset();
            return;
    }
}

void TExceptionBox::Flash(int index) {
    if (FContent.PlainBox || FContent.UglyBtns) return;  // the system's buttons show their own press
    const bool show = index == int(TBoxButton::Show);
    if (!show && GetTickCount() - FFocusMovedAt <= kFlashAfterFocus) return;
    HWND button = Button(index);
    FPressed = index;
    RedrawWindow(button, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    Sleep(kFlashTime);
    if (show) return;  // the dialog closes in the pressed look
    FPressed = -1;
    RedrawWindow(button, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

void TExceptionBox::FocusMoved(int index) {
    if (index == FFocused) return;
    FFocused = index;
    FFocusMovedAt = GetTickCount();
    SetTimer(FWindow.Get(), kBlendTimer, kBlendInterval, nullptr);
}

void TExceptionBox::BlendStep() {
    bool moving = false;
    for (int i = 0; i < kBoxButtonCount; ++i) {
        const int target = i == FFocused ? kBlendSteps : 0;
        if (FBlend[i] == target) continue;
        FBlend[i] += FBlend[i] < target ? 1 : -1;
        moving = moving || FBlend[i] != target;
        if (Button(i)) InvalidateRect(Button(i), nullptr, FALSE);
    }
    if (!moving) KillTimer(FWindow.Get(), kBlendTimer);
}

void TExceptionBox::Paint(HWND window) {
    TPaint paint(window);
    HDC dc = paint.Get();
    if (FIcon) FIcon.Draw(dc, FLayout.Icon.Left, FLayout.Icon.Top, GetSysColor(COLOR_BTNFACE));
    win32::TSelectObject font(dc, FFont.Get());
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    const TBoxRect& t = FLayout.Text;
    RECT rect = {t.Left, t.Top, t.Right(), t.Bottom()};
    DrawTextW(dc, win32::Wide(FContent.Text), -1, &rect, kTextFormat);
}

void TExceptionBox::DrawButton(const DRAWITEMSTRUCT& item) {
    const int index = int(item.CtlID) - kFirstButtonId;
    if (index < 0 || index >= kBoxButtonCount) return;
    HDC dc = item.hDC;
    RECT rect = item.rcItem;
    const bool disabled = (item.itemState & ODS_DISABLED) != 0;
    const bool pressed = index == FPressed || (item.itemState & ODS_SELECTED) != 0;

    TColour background, text;
    if (FContent.UglyBtns) {
        DrawFrameControl(dc, &rect, DFC_BUTTON, DFCS_BUTTONPUSH | (pressed ? DFCS_PUSHED : 0));
        background = GetSysColor(COLOR_BTNFACE);
        text = GetSysColor(COLOR_BTNTEXT);
        if (item.itemState & ODS_FOCUS) {
            RECT focus = {rect.left + 3, rect.top + 3, rect.right - 3, rect.bottom - 3};
            DrawFocusRect(dc, &focus);
        }
    } else {
        const TColour normal = ButtonBackground(GetSysColor(COLOR_BTNFACE), disabled, FBitsPerPixel);
        const TColour focused = GetSysColor(COLOR_3DDKSHADOW);
        if (pressed) {
            background = GetSysColor(COLOR_3DSHADOW);
            text = MakeColour(255, 255, 255);
        } else {
            background = BlendColours(normal, focused, FBlend[index], kBlendSteps);
            text = BlendColours(MakeColour(0, 0, 0), MakeColour(255, 255, 255), FBlend[index], kBlendSteps);
        }
        FillColour(dc, rect, background);
    }

    const TBoxPicture& picture =
        index == int(TBoxButton::Continue) && disabled && FCantContinue ? FCantContinue : FPictures[index];
    const int shift = pressed ? 1 : 0;
    picture.Draw(dc, rect.left + kPictureInset + shift, rect.top + kPictureInset + shift, background);

    win32::TSelectObject font(dc, FFont.Get());
    SetBkMode(dc, TRANSPARENT);
    const UString& caption = FContent.Captions[index];
    RECT captionRect = {rect.left + kPictureInset + kButtonPictureSize + shift,
                        rect.top + kCaptionTop + shift, rect.right + shift, rect.bottom};
    const UINT format = DT_CENTER | DT_SINGLELINE | DT_TOP;
    if (disabled) {
        RECT shadow = captionRect;
        OffsetRect(&shadow, 1, 1);
        SetTextColor(dc, MakeColour(255, 255, 255));
        DrawTextW(dc, win32::Wide(caption), -1, &shadow, format);
        text = GetSysColor(COLOR_GRAYTEXT);
    }
    SetTextColor(dc, text);
    DrawTextW(dc, win32::Wide(caption), -1, &captionRect, format);
}

void TExceptionBox::CopyMessage() {
    const UString& text = FContent.ExceptionMessage;
    const size_t bytes = (text.size() + 1) * sizeof(char16_t);
    win32::TGlobalMemory memory(GlobalAlloc(GMEM_MOVEABLE, bytes));
    if (!memory) return;
    void* target = GlobalLock(memory.Get());
    if (!target) return;
    std::memcpy(target, text.c_str(), bytes);
    GlobalUnlock(memory.Get());
    TOpenClipboard clipboard(FWindow.Get());
    if (!clipboard) return;
    EmptyClipboard();
    if (SetClipboardData(CF_UNICODETEXT, memory.Get())) memory.Release();  // the clipboard owns it now
}

LRESULT TExceptionBox::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND: {
            const int index = int(LOWORD(wParam)) - kFirstButtonId;
            if (index < 0 || index >= kBoxButtonCount || !Button(index)) break;
            if (HIWORD(wParam) == BN_CLICKED)
                Click(index);
            else if (HIWORD(wParam) == BN_SETFOCUS)
                FocusMoved(index);
            return 0;
        }
        case WM_DRAWITEM:
            DrawButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
            return TRUE;
        case WM_TIMER:
            if (wParam == kBlendTimer) BlendStep();
            return 0;
        case WM_PAINT:
            Paint(window);
            return 0;
        case WM_ACTIVATE:
            // Back in front, the focus returns to the button that had it, as
            // in a dialog box.
            if (LOWORD(wParam) != WA_INACTIVE && Button(FFocused)) {
                SetFocus(Button(FFocused));
                return 0;
            }
            break;
        case WM_CLOSE:  // only the buttons and the escape key close the dialog
            return 0;
        case WM_SYSCOMMAND:
            if ((wParam & 0xFFF0) == SC_CLOSE) return 0;
            break;
        case WM_HELP:
            return TRUE;
        case WM_NCDESTROY:
            // Destroyed by the user's choice or by the owner: either way the
            // handle is gone now.
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            FWindow.Release();
            // A press sent from another thread is handled inside GetMessage,
            // which goes on waiting: wake the loop so that it sees the end.
            PostThreadMessageW(GetCurrentThreadId(), WM_NULL, 0, 0);
            std::fill(std::begin(FButtons), std::end(FButtons), nullptr);
            break;
        default:
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace qr
