#include "crashreport/ui/ExceptionBox_win32.h"

#include <commctrl.h>

#include <algorithm>

#include "base/win32/WideText.h"
#include "crashreport/ui/WindowKit_win32.h"

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
constexpr int kTabsId = 300, kFirstPageId = 400;
constexpr UINT kRefreshMessage = WM_APP + 2;  // posted when the report changed

bool SameTab(const TReportTab& a, const TReportTab& b) {
    return a.Caption == b.Caption && a.Columns == b.Columns && a.Rows == b.Rows && a.Text == b.Text;
}

// The report's line breaks as the edit field wants them.
UString EditText(const AnsiString& text) {
    UString wide = AnsiToUnicode(text), result;
    result.reserve(wide.size());
    for (size_t i = 0; i < wide.size(); ++i) {
        if (wide[i] == u'\n' && (i == 0 || wide[i - 1] != u'\r')) result += u'\r';
        result += wide[i];
    }
    return result;
}

void FillColour(HDC dc, const RECT& rect, TColour colour) {
    win32::TBrush brush(CreateSolidBrush(colour));
    FillRect(dc, &rect, brush.Get());
}

}  // namespace

TExceptionBox::TExceptionBox(TBoxContent content, TActionHandler onAction, HMODULE pictures)
    : FContent(std::move(content)), FOnAction(std::move(onAction)), FPictureModule(pictures) {}

TExceptionBox::~TExceptionBox() {
    if (FReport.Watch) FReport.Watch(nullptr);
    FRefresh->Window.store(nullptr);
}

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
    FFont = CreateDialogFont();
    FFixedFont = CreateNamedFont(L"Courier New", 11);
    FSmallFont = CreateNamedFont(L"Small Fonts", 8);
}

int TExceptionBox::CaptionWidth(HDC dc, const UString& caption) const {
    RECT rect = {0, 0, 0, 0};
    DrawTextW(dc, win32::Wide(caption), -1, &rect, DT_CALCRECT | DT_SINGLELINE);
    return rect.right - rect.left;
}

void TExceptionBox::Create() {
    if (!RegisterWindowClass(kClassName, &TExceptionBox::WindowProc,
                             reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1)))
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

    const bool large = FContent.Large && !FContent.PlainBox;
    const DWORD style =
        WS_POPUP | WS_CAPTION | WS_SYSMENU | (large ? WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX : 0);
    const DWORD exStyle = WS_EX_DLGMODALFRAME | WS_EX_TOPMOST;
    RECT frame = {0, 0, 0, 0};
    AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    if (large) {
        // Within the screen less five caption heights.
        const int margin = 5 * GetSystemMetrics(SM_CYCAPTION);
        const TBoxSize limit = {GetSystemMetrics(SM_CXSCREEN) - margin - (frame.right - frame.left),
                                GetSystemMetrics(SM_CYSCREEN) - margin - (frame.bottom - frame.top)};
        FLayout = LargeBoxLayout(FLayout, limit);
        FInitialLayout = FLayout;
    }
    frame = {0, 0, FLayout.ClientWidth, FLayout.ClientHeight};
    AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    FMinimumSize = {width, height};
    const int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    const int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    HWND window = CreateWindowExW(exStyle, kClassName, win32::Wide(FContent.Title), style, left, top, width,
                                  height, nullptr, nullptr, OwnModule(), this);
    if (!window) throw EExceptionBoxError("the crash dialog's window could not be created");
    FWindow.Reset(window);

    if (!large) {
        HMENU menu = GetSystemMenu(window, FALSE);
        for (UINT command : {SC_SIZE, SC_MINIMIZE, SC_MAXIMIZE, SC_RESTORE})
            DeleteMenu(menu, command, MF_BYCOMMAND);
    }

    CreateButtons(window);
    if (large) CreateTabs(window);
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
    WatchReport(window);
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
        if (FTabs)
            CopyReport();
        else
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
    // Failures inside the crash reporter's own handling are never reported:
    // a failing action is passed over.
    auto runAction = [&] {
        try {
            if (FOnAction) FOnAction(button, FWindow.Get());
        } catch (...) {
        }
    };
    switch (button) {
        case TBoxButton::Send:
        case TBoxButton::Save:
        case TBoxButton::Print:
            runAction();  // the dialog stays open
            return;
        case TBoxButton::Restart:
        case TBoxButton::Close:
            runAction();  // the dialog closes whatever the action did
            [[fallthrough]];
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
    PaintPictureAndText(window, FIcon, FLayout.Icon, FFont.Get(), FLayout.Text, FContent.Text, kTextFormat);
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

void TExceptionBox::CreateTabs(HWND window) {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    const TBoxRect& r = FLayout.Tabs;
    FTabs = CreateWindowExW(0, WC_TABCONTROLW, L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS,
                            r.Left, r.Top, r.Width, r.Height, window,
                            reinterpret_cast<HMENU>(INT_PTR(kTabsId)), OwnModule(), nullptr);
    if (!FTabs) throw EExceptionBoxError("the crash dialog's tabs could not be created");
    SendMessageW(FTabs, WM_SETFONT, reinterpret_cast<WPARAM>(FFont.Get()), FALSE);
    Refresh();
}

void TExceptionBox::WatchReport(HWND window) {
    // From now on every change of the report posts a refresh, in either
    // form (the small one has nothing to redraw); the completion thread
    // never touches the window itself.
    FRefresh->Window.store(window);
    if (FReport.Watch) {
        std::shared_ptr<TRefreshTarget> target = FRefresh;
        FReport.Watch([target] {
            HWND to = target->Window.load();
            if (to && !target->Posted.exchange(true) && !PostMessageW(to, kRefreshMessage, 0, 0))
                target->Posted.store(false);
        });
    }
    // A change between the first fill and the callback's start.
    if (FTabs) PostMessageW(window, kRefreshMessage, 0, 0);
}

void TExceptionBox::Refresh() {
    if (!FTabs || !FReport.Tabs) return;
    std::vector<TReportTab> tabs;
    try {
        tabs = FReport.Tabs();
    } catch (...) {
        return;  // the dialog keeps what it shows
    }
    bool captionsChanged = tabs.size() != FShownTabs.size();
    for (size_t i = 0; !captionsChanged && i < tabs.size(); ++i)
        captionsChanged = tabs[i].Caption != FShownTabs[i].Caption;
    if (captionsChanged) {
        const int current = int(SendMessageW(FTabs, TCM_GETCURSEL, 0, 0));
        const AnsiString currentCaption =
            current >= 0 && size_t(current) < FShownTabs.size() ? FShownTabs[current].Caption : AnsiString();
        SendMessageW(FTabs, TCM_DELETEALLITEMS, 0, 0);
        int select = 0;
        for (size_t i = 0; i < tabs.size(); ++i) {
            UString caption = AnsiToUnicode(tabs[i].Caption);
            TCITEMW item = {};
            item.mask = TCIF_TEXT;
            item.pszText = win32::WideBuffer(caption);
            SendMessageW(FTabs, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
            if (tabs[i].Caption == currentCaption) select = int(i);
        }
        SendMessageW(FTabs, TCM_SETCURSEL, select, 0);
    }
    for (size_t i = tabs.size(); i < FPages.size(); ++i) DestroyWindow(FPages[i]);
    FPages.resize(tabs.size(), nullptr);
    for (size_t i = 0; i < tabs.size(); ++i) {
        if (FPages[i] && i < FShownTabs.size() && SameTab(tabs[i], FShownTabs[i])) continue;
        if (FPages[i]) {
            if (GetFocus() == FPages[i]) SetFocus(FTabs);
            DestroyWindow(FPages[i]);
        }
        FPages[i] = CreatePage(int(i), tabs[i]);
    }
    FShownTabs = std::move(tabs);
    PlacePages();
    ShowCurrentPage();
}

HWND TExceptionBox::CreatePage(int index, const TReportTab& tab) {
    HWND window = FWindow.Get();
    // Made at its place, so that the columns are sized for the room they have.
    const RECT area = PageArea();
    const int x = area.left, y = area.top, w = area.right - area.left, h = area.bottom - area.top;
    const auto id = reinterpret_cast<HMENU>(INT_PTR(kFirstPageId + index));
    if (tab.Columns.empty()) {
        UString text = EditText(tab.Text);
        HWND edit = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", win32::Wide(text),
                                    WS_CHILD | WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE |
                                        ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL,
                                    x, y, w, h, window, id, OwnModule(), nullptr);
        if (edit) SendMessageW(edit, WM_SETFONT, reinterpret_cast<WPARAM>(FFixedFont.Get()), FALSE);
        return edit;
    }
    HWND list = CreateWindowExW(
        WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
        WS_CHILD | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER, x, y, w, h,
        window, id, OwnModule(), nullptr);
    if (!list) return nullptr;
    SendMessageW(list, WM_SETFONT, reinterpret_cast<WPARAM>(FFont.Get()), FALSE);
    // The column titles in the small font: they only name what is below.
    if (HWND titles = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0)))
        SendMessageW(titles, WM_SETFONT, reinterpret_cast<WPARAM>(FSmallFont.Get()), FALSE);
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    for (size_t c = 0; c < tab.Columns.size(); ++c) {
        UString title = AnsiToUnicode(tab.Columns[c]);
        LVCOLUMNW column = {};
        column.mask = LVCF_TEXT | LVCF_SUBITEM;
        column.pszText = win32::WideBuffer(title);
        column.iSubItem = int(c);
        SendMessageW(list, LVM_INSERTCOLUMNW, c, reinterpret_cast<LPARAM>(&column));
    }
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    for (size_t r = 0; r < tab.Rows.size(); ++r) {
        for (size_t c = 0; c < tab.Columns.size(); ++c) {
            UString cell = c < tab.Rows[r].size() ? AnsiToUnicode(tab.Rows[r][c]) : UString();
            LVITEMW item = {};
            item.mask = LVIF_TEXT;
            item.iItem = int(r);
            item.iSubItem = int(c);
            item.pszText = win32::WideBuffer(cell);
            SendMessageW(list, c == 0 ? LVM_INSERTITEMW : LVM_SETITEMTEXTW, c == 0 ? 0 : r,
                         reinterpret_cast<LPARAM>(&item));
        }
    }
    // Every column as wide as its widest cell or its title (measured here:
    // not every list view counts the title in), the last one filling the rest.
    constexpr int kTitleMargin = 16;
    for (size_t c = 0; c + 1 < tab.Columns.size(); ++c) {
        SendMessageW(list, LVM_SETCOLUMNWIDTH, c, LVSCW_AUTOSIZE);
        UString title = AnsiToUnicode(tab.Columns[c]);
        const int cells = int(SendMessageW(list, LVM_GETCOLUMNWIDTH, c, 0));
        const int header =
            int(SendMessageW(list, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(title.c_str()))) +
            kTitleMargin;
        SendMessageW(list, LVM_SETCOLUMNWIDTH, c, std::max(cells, header));
    }
    // The last one (the function, the path) is never cut: as wide as its
    // widest cell when that is wider than the rest, the list then scrolls.
    const size_t last = tab.Columns.size() - 1;
    SendMessageW(list, LVM_SETCOLUMNWIDTH, last, LVSCW_AUTOSIZE);
    const int widest = int(SendMessageW(list, LVM_GETCOLUMNWIDTH, last, 0));
    SendMessageW(list, LVM_SETCOLUMNWIDTH, last, LVSCW_AUTOSIZE_USEHEADER);
    if (widest > int(SendMessageW(list, LVM_GETCOLUMNWIDTH, last, 0)))
        SendMessageW(list, LVM_SETCOLUMNWIDTH, last, widest);
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    return list;
}

RECT TExceptionBox::PageArea() const {
    RECT area = {FLayout.Tabs.Left, FLayout.Tabs.Top, FLayout.Tabs.Right(), FLayout.Tabs.Bottom()};
    SendMessageW(FTabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
    return area;
}

void TExceptionBox::PlacePages() {
    if (!FTabs) return;
    const RECT area = PageArea();
    for (HWND page : FPages)
        if (page)
            SetWindowPos(page, HWND_TOP, area.left, area.top, area.right - area.left, area.bottom - area.top,
                         SWP_NOACTIVATE);
}

void TExceptionBox::ShowCurrentPage() {
    const int current = int(SendMessageW(FTabs, TCM_GETCURSEL, 0, 0));
    for (size_t i = 0; i < FPages.size(); ++i)
        if (FPages[i]) ShowWindow(FPages[i], int(i) == current ? SW_SHOWNA : SW_HIDE);
}

void TExceptionBox::Resized(int clientWidth, int clientHeight) {
    if (!FTabs || clientWidth <= 0 || clientHeight <= 0) return;  // minimised
    FLayout = ResizedBoxLayout(FInitialLayout, clientWidth, clientHeight);
    for (int i = 0; i < kBoxButtonCount; ++i)
        if (Button(i)) {
            const TBoxRect& r = FLayout.Buttons[i];
            MoveWindow(Button(i), r.Left, r.Top, r.Width, r.Height, TRUE);
        }
    const TBoxRect& t = FLayout.Tabs;
    MoveWindow(FTabs, t.Left, t.Top, t.Width, t.Height, TRUE);
    PlacePages();
    InvalidateRect(FWindow.Get(), nullptr, TRUE);
}

void TExceptionBox::CopyReport() {
    if (!FReport.CompleteText) return;
    UString text;
    try {
        text = FReport.CompleteText(FWindow.Get());
    } catch (...) {
        return;  // failures inside the crash reporter's handling are never reported
    }
    if (FWindow) CopyToClipboard(FWindow.Get(), text);
}

void TExceptionBox::CopyMessage() { CopyToClipboard(FWindow.Get(), FContent.ExceptionMessage); }

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
        case kRefreshMessage:
            FRefresh->Posted.store(false);
            Refresh();
            return 0;
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            if (FTabs && header->hwndFrom == FTabs && header->code == TCN_SELCHANGE) ShowCurrentPage();
            break;
        }
        case WM_SIZE:
            if (wParam != SIZE_MINIMIZED) Resized(LOWORD(lParam), HIWORD(lParam));
            break;
        case WM_GETMINMAXINFO:
            if (FTabs) {
                auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
                info->ptMinTrackSize = {FMinimumSize.cx, FMinimumSize.cy};
                return 0;
            }
            break;
        case WM_PAINT:
            Paint(window);
            return 0;
        case WM_ACTIVATE:
            // Back in front, the focus returns to the control that had it, as
            // in a dialog box.
            if (LOWORD(wParam) == WA_INACTIVE) {
                HWND focus = GetFocus();
                FLastFocus = focus && IsChild(window, focus) ? focus : nullptr;
            } else if (FLastFocus && IsWindow(FLastFocus) && IsWindowVisible(FLastFocus) &&
                       IsChild(window, FLastFocus)) {
                SetFocus(FLastFocus);
                return 0;
            } else if (Button(FFocused)) {
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
            FRefresh->Window.store(nullptr);
            FWindow.Release();
            FTabs = nullptr;
            FPages.clear();
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
