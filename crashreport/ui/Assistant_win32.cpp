#include "crashreport/ui/Assistant_win32.h"

#include <algorithm>

#include "base/win32/WideText.h"
#include "crashreport/ui/BoxColours.h"
#include "crashreport/ui/WindowKit_win32.h"

namespace qr {

namespace {

constexpr wchar_t kClassName[] = L"TNVFormWndClass";
constexpr int kFirstButtonId = 100, kFirstItemId = 200;
constexpr UINT kTimerId = 1;
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME;
constexpr int kButtonMargin = 24, kButtonMinWidth = 75;
constexpr int kCheckExtra = 24, kCheckHeight = 17;
constexpr int kEditExtra = 8;
constexpr int kImageMaxWidth = 360, kImageMaxHeight = 240;  // a screenshot shrunk to fit
constexpr UINT kLabelFormat = DT_WORDBREAK | DT_NOPREFIX;

SIZE TextSize(HDC dc, const UString& text, int wrap = 0) {
    RECT rect = {0, 0, wrap, 0};
    DrawTextW(dc, win32::Wide(text), -1, &rect,
              DT_CALCRECT | (wrap ? kLabelFormat : DT_SINGLELINE | DT_NOPREFIX));
    return {rect.right - rect.left, rect.bottom - rect.top};
}

// An image item's size: the stored one, else its picture shrunk to fit.
SIZE ImageSize(const TNVImage& image, const TNVPicture* picture) {
    if (image.Width > 0 && image.Height > 0) return {image.Width, image.Height};
    if (!picture || picture->Empty()) return {kImageMaxWidth / 2, kImageMaxHeight / 2};
    const double scale =
        std::min({1.0, double(kImageMaxWidth) / picture->Width, double(kImageMaxHeight) / picture->Height});
    return {std::max(1, int(picture->Width * scale)), std::max(1, int(picture->Height * scale))};
}

}  // namespace

TNVFormWindow::TNVFormWindow(TNVForm& form, TNVActionHandler handler)
    : FForm(form), FHandler(std::move(handler)), FItems(form.Items()) {
    FPictures.resize(FItems.size());
}

TNVFormWindow::~TNVFormWindow() = default;

void TNVFormWindow::Call(TNVAction action, TNVItem* item) {
    if (!FHandler) return;
    // A failing handler leaves the form as it is: failures inside the
    // crash reporter's own handling are never reported.
    try {
        FHandler(*this, action, item);
    } catch (...) {
    }
}

int TNVFormWindow::ShowModal(HWND owner, const std::function<void(int result)>& ending) {
    // The values the form started with: only "Continue" keeps what the
    // user typed.
    std::vector<UString> texts;
    std::vector<bool> checks;
    for (TNVItem* item : FItems) {
        auto* edit = dynamic_cast<TNVEdit*>(item);
        auto* box = dynamic_cast<TNVCheckBox*>(item);
        texts.push_back(edit ? edit->Text : UString());
        checks.push_back(box && box->Checked);
    }
    Call(nvaFormCreated, nullptr);
    FResult = 0;
    if (!Create(owner)) return nvmCancel;
    Call(nvaFormShown, nullptr);
    MSG message;
    while (FResult == 0 && FWindow) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == -1) break;
        if (got == 0) {
            // The thread is asked to end: hand the request on and cancel.
            PostQuitMessage(int(message.wParam));
            break;
        }
        if (PreTranslate(message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    const int result = FResult == 0 ? int(nvmCancel) : FResult;
    if (result == nvmContinue) {
        for (size_t i = 0; i < FItems.size(); ++i) {
            if (auto* edit = dynamic_cast<TNVEdit*>(FItems[i])) edit->Text = CurrentText(*edit);
            if (auto* box = dynamic_cast<TNVCheckBox*>(FItems[i])) box->Checked = CurrentlyChecked(*box);
        }
    }
    FResult = result;
    Call(nvaFormClosed, nullptr);
    if (result != nvmContinue)
        for (size_t i = 0; i < FItems.size(); ++i) {
            if (auto* edit = dynamic_cast<TNVEdit*>(FItems[i])) edit->Text = texts[i];
            if (auto* box = dynamic_cast<TNVCheckBox*>(FItems[i])) box->Checked = checks[i];
        }
    if (ending) ending(result);
    FWindow.Reset();
    return result;
}

TNVFormMeasure TNVFormWindow::Measure(HDC dc) {
    TNVFormMeasure m;
    {
        win32::TSelectObject font(dc, FHeadlineFont.Get());
        const SIZE headline = TextSize(dc, FForm.Message);
        m.HeadlineWidth = headline.cx;
        m.HeadlineHeight = headline.cy;
    }
    m.StepCount = std::max(1, FForm.StepCount);
    m.MinWidth = FForm.MinWidth;
    win32::TSelectObject font(dc, FFont.Get());
    for (int b = 0; b < 3; ++b) {
        auto* button = static_cast<TNVButton*>(FItems[size_t(b)]);
        m.ButtonWidths[b] = std::max(kButtonMinWidth, int(TextSize(dc, button->Caption).cx) + kButtonMargin);
    }
    const int lineHeight = TextSize(dc, u"Xg").cy;
    // Labels wrap at the width the form has without them.
    TNVFormMeasure bare = m;
    const int room = AssistantFormLayout(bare).ClientWidth - 40;
    for (size_t i = 3; i < FItems.size(); ++i) {
        TNVItem* item = FItems[i];
        TNVItemMeasure im;
        im.Spacing = item->Spacing;
        if (auto* label = dynamic_cast<TNVLabel*>(item)) {
            const SIZE size = TextSize(dc, label->Caption.empty() ? u" " : label->Caption, room);
            im.Height = size.cy;
        } else if (auto* edit = dynamic_cast<TNVEdit*>(item)) {
            im.Height = std::max(1, edit->Lines) * lineHeight + kEditExtra;
        } else if (auto* box = dynamic_cast<TNVCheckBox*>(item)) {
            im.Width = TextSize(dc, box->Caption).cx + kCheckExtra;
            im.Height = kCheckHeight;
        } else if (auto* image = dynamic_cast<TNVImage*>(item)) {
            const SIZE size = ImageSize(*image, FPictures[i].Empty() ? nullptr : &FPictures[i]);
            const int border = image->Border ? 2 : 0;
            im.Width = size.cx + border;
            im.Height = size.cy + border;
        }
        m.Items.push_back(im);
    }
    return m;
}

bool TNVFormWindow::Create(HWND owner) {
    if (!RegisterWindowClass(kClassName, &TNVFormWindow::WindowProc,
                             reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1)))
        return false;
    if (!FFont) {
        FFont = CreateDialogFont();
        FHeadlineFont = CreateNamedFont(L"Arial", 15, true);
        FStepFont = CreateNamedFont(L"Arial", 15);
    }
    {
        win32::TWindowDC screen(nullptr);
        FLayout = AssistantFormLayout(Measure(screen.Get()));
    }
    RECT frame = {0, 0, FLayout.ClientWidth, FLayout.ClientHeight};
    AdjustWindowRectEx(&frame, kStyle, FALSE, kExStyle);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    HWND window = CreateWindowExW(
        kExStyle, kClassName, win32::Wide(FForm.Title), kStyle, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
        (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, owner, nullptr, OwnModule(), this);
    if (!window) return false;
    FWindow.Reset(window);
    HMENU menu = GetSystemMenu(window, FALSE);
    for (UINT command : {SC_SIZE, SC_MINIMIZE, SC_MAXIMIZE, SC_RESTORE})
        DeleteMenu(menu, command, MF_BYCOMMAND);
    FCreating = true;
    CreateItems(window);
    FCreating = false;
    UpdateContinue();
    if (FForm.Timer > 0) SetTimer(window, kTimerId, UINT(FForm.Timer), nullptr);

    ShowWindow(window, SW_SHOW);
    BringWindowToTop(window);
    SetForegroundWindow(window);
    HWND focus = nullptr;
    if (!FForm.ActiveControl.empty())
        if (TNVItem* item = FForm.FindItem(UnicodeToUtf8(FForm.ActiveControl))) focus = Control(*item);
    if (!focus || !IsWindowEnabled(focus) || !IsWindowVisible(focus)) {
        focus = nullptr;
        // The first item that takes the focus, then the buttons.
        for (size_t i = 3; i < FItems.size() + 3 && !focus; ++i) {
            HWND control = FControls[i % FItems.size()];
            if (control && IsWindowEnabled(control) && (GetWindowLongW(control, GWL_STYLE) & WS_TABSTOP))
                focus = control;
        }
    }
    if (focus) SetFocus(focus);
    return true;
}

void TNVFormWindow::CreateItems(HWND window) {
    FControls.assign(FItems.size(), nullptr);
    for (size_t i = 0; i < FItems.size(); ++i) {
        TNVItem* item = FItems[i];
        const TBoxRect& r = i < 3 ? FLayout.Buttons[i] : FLayout.Items[i - 3];
        const auto id =
            reinterpret_cast<HMENU>(INT_PTR(i < 3 ? kFirstButtonId + int(i) : kFirstItemId + int(i - 3)));
        HWND control = nullptr;
        DWORD exStyle = 0;
        const wchar_t* cls = L"STATIC";
        DWORD style = WS_CHILD | WS_VISIBLE;
        UString text;
        if (auto* button = dynamic_cast<TNVButton*>(item)) {
            cls = L"BUTTON";
            style |= WS_TABSTOP | (i == 0 ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
            if (!button->Visible) style &= ~WS_VISIBLE;
            text = button->Caption;
        } else if (auto* label = dynamic_cast<TNVLabel*>(item)) {
            style |= SS_LEFT | SS_NOPREFIX | SS_NOTIFY;  // a click is an item event
            text = label->Caption;
        } else if (auto* edit = dynamic_cast<TNVEdit*>(item)) {
            cls = L"EDIT";
            exStyle = WS_EX_CLIENTEDGE;
            style |= WS_TABSTOP | ES_AUTOHSCROLL;
            if (edit->Lines > 1) style |= ES_MULTILINE | ES_WANTRETURN | ES_AUTOVSCROLL | WS_VSCROLL;
            text = edit->Text;
        } else if (auto* box = dynamic_cast<TNVCheckBox*>(item)) {
            cls = L"BUTTON";
            style |= WS_TABSTOP | BS_AUTOCHECKBOX;
            text = box->Caption;
        } else if (auto* image = dynamic_cast<TNVImage*>(item)) {
            style |= SS_OWNERDRAW | (image->Clickable ? SS_NOTIFY : 0);
            if (image->Border) style |= WS_BORDER;
        }
        control = CreateWindowExW(exStyle, cls, win32::Wide(text), style, r.Left, r.Top, r.Width, r.Height,
                                  window, id, OwnModule(), nullptr);
        if (!control) continue;
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(FFont.Get()), FALSE);
        if (auto* box = dynamic_cast<TNVCheckBox*>(item))
            SendMessageW(control, BM_SETCHECK, box->Checked ? BST_CHECKED : BST_UNCHECKED, 0);
        if (!item->Enabled) EnableWindow(control, FALSE);
        FControls[i] = control;
    }
}

UString TNVFormWindow::CurrentText(const TNVEdit& edit) const {
    HWND control = Control(edit);
    if (!control) return edit.Text;
    UString text(size_t(GetWindowTextLengthW(control)) + 1, u'\0');
    text.resize(size_t(GetWindowTextW(control, win32::WideBuffer(text), int(text.size()))));
    return text;
}

bool TNVFormWindow::CurrentlyChecked(const TNVCheckBox& box) const {
    HWND control = Control(box);
    return control ? SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED : box.Checked;
}

void TNVFormWindow::SetPicture(const TNVImage& image, TNVPicture picture) {
    for (size_t i = 0; i < FItems.size(); ++i)
        if (FItems[i] == &image) {
            FPictures[i] = std::move(picture);
            if (FControls.size() > i && FControls[i]) InvalidateRect(FControls[i], nullptr, TRUE);
        }
}

const TNVPicture* TNVFormWindow::Picture(const TNVImage& image) const {
    for (size_t i = 0; i < FItems.size(); ++i)
        if (FItems[i] == &image && !FPictures[i].Empty()) return &FPictures[i];
    return nullptr;
}

void TNVFormWindow::UpdateContinue() {
    HWND button = FControls.empty() ? nullptr : FControls[0];
    if (!button) return;
    std::vector<TNVEditData> edits;
    for (TNVItem* item : FItems)
        if (auto* edit = dynamic_cast<TNVEdit*>(item))
            edits.push_back({{}, CurrentText(*edit), edit->Lines, edit->Optional, edit->Valid, {}, {}});
    const bool enable = FItems[0]->Enabled && ContinueAllowed(edits);
    if ((IsWindowEnabled(button) != FALSE) == enable) return;
    if (!enable && GetFocus() == button) SendMessageW(FWindow.Get(), WM_NEXTDLGCTL, 0, FALSE);
    EnableWindow(button, enable);
}

int TNVFormWindow::IndexOf(HWND control) const {
    for (size_t i = 0; i < FControls.size(); ++i)
        if (control && FControls[i] == control) return int(i);
    return -1;
}

HWND TNVFormWindow::Control(const TNVItem& item) const {
    for (size_t i = 0; i < FItems.size() && i < FControls.size(); ++i)
        if (FItems[i] == &item) return FControls[i];
    return nullptr;
}

void TNVFormWindow::ItemEvent(TNVItem* item) {
    if (FCreating) return;
    Call(nvaItemEvent, item);
    UpdateContinue();
}

void TNVFormWindow::Press(int button) {
    HWND control = button < int(FControls.size()) ? FControls[size_t(button)] : nullptr;
    if (!control || !IsWindowEnabled(control) || FResult != 0) return;
    FResult = button + 1;  // continue 1, skip 2, cancel 3
}

bool TNVFormWindow::PreTranslate(MSG& message) {
    HWND window = FWindow.Get();
    if (!window || (message.hwnd != window && !IsChild(window, message.hwnd))) return false;
    if (message.message == WM_KEYDOWN && message.wParam == VK_ESCAPE) {
        Press(2);
        return true;
    }
    return IsDialogMessageW(window, &message) != FALSE;
}

void TNVFormWindow::Paint(HWND window) {
    TPaint paint(window);
    HDC dc = paint.Get();
    SetBkMode(dc, TRANSPARENT);
    RECT panel = {FLayout.Panel.Left, FLayout.Panel.Top, FLayout.Panel.Right(), FLayout.Panel.Bottom()};
    DrawEdge(dc, &panel, EDGE_ETCHED, BF_RECT);
    {
        win32::TSelectObject font(dc, FHeadlineFont.Get());
        SetTextColor(dc, GetSysColor(COLOR_3DDKSHADOW));
        const TBoxRect& h = FLayout.Headline;
        RECT rect = {h.Left, h.Top, h.Right() + 1, h.Bottom()};
        DrawTextW(dc, win32::Wide(FForm.Message), -1, &rect, DT_SINGLELINE | DT_NOPREFIX);
    }
    for (size_t i = 0; i < FLayout.Steps.size(); ++i) {
        const TBoxRect& s = FLayout.Steps[i];
        RECT rect = {s.Left, s.Top, s.Right(), s.Bottom()};
        const bool current = int(i) + 1 == FForm.Step;
        if (current) {
            // The current step on a small shaded box.
            win32::TBrush shade(CreateSolidBrush(
                BlendColours(GetSysColor(COLOR_BTNFACE), GetSysColor(COLOR_BTNSHADOW), 1, 2)));
            FillRect(dc, &rect, shade.Get());
        }
        win32::TSelectObject font(dc, current ? FHeadlineFont.Get() : FStepFont.Get());
        SetTextColor(dc, GetSysColor(current ? COLOR_WINDOWTEXT : COLOR_BTNSHADOW));
        const std::wstring number = std::to_wstring(i + 1);
        DrawTextW(dc, number.c_str(), -1, &rect, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
    }
}

void TNVFormWindow::DrawImage(const DRAWITEMSTRUCT& draw) {
    const int index = IndexOf(draw.hwndItem);
    if (index < 0) return;
    RECT rect = draw.rcItem;
    FillRect(draw.hDC, &rect, GetSysColorBrush(COLOR_BTNFACE));
    const TNVPicture& picture = FPictures[size_t(index)];
    if (picture.Empty()) return;
    BITMAPINFO info = picture.BitsInfo();
    SetStretchBltMode(draw.hDC, HALFTONE);
    StretchDIBits(draw.hDC, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, 0, 0,
                  picture.Width, picture.Height, picture.Pixels.data(), &info, DIB_RGB_COLORS, SRCCOPY);
}

LRESULT CALLBACK TNVFormWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<TNVFormWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) return DefWindowProcW(window, message, wParam, lParam);
    return self->HandleMessage(window, message, wParam, lParam);
}

LRESULT TNVFormWindow::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND: {
            const int id = LOWORD(wParam), code = HIWORD(wParam);
            if (id == IDOK) {  // Enter outside a multi-line edit
                Press(0);
                return 0;
            }
            if (id == IDCANCEL) return 0;  // escape is handled before
            const int index = IndexOf(reinterpret_cast<HWND>(lParam));
            if (index < 0) break;
            if (index < 3) {
                if (code == BN_CLICKED) Press(index);
                return 0;
            }
            TNVItem* item = FItems[size_t(index)];
            if ((dynamic_cast<TNVEdit*>(item) && code == EN_CHANGE) ||
                (dynamic_cast<TNVCheckBox*>(item) && code == BN_CLICKED) ||
                ((dynamic_cast<TNVImage*>(item) || dynamic_cast<TNVLabel*>(item)) && code == STN_CLICKED))
                ItemEvent(item);
            return 0;
        }
        case DM_GETDEFID:
            return MAKELRESULT(kFirstButtonId, DC_HASDEFID);
        case WM_TIMER:
            if (wParam == kTimerId) ItemEvent(nullptr);
            return 0;
        case WM_DRAWITEM:
            DrawImage(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
            return TRUE;
        case WM_PAINT:
            Paint(window);
            return 0;
        case WM_CLOSE:  // the title bar's close command acts as "Cancel"
            Press(2);
            return 0;
        case WM_NCDESTROY:
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            FWindow.Release();
            FControls.assign(FControls.size(), nullptr);
            // Wake the loop, which may wait in GetMessage.
            PostThreadMessageW(GetCurrentThreadId(), WM_NULL, 0, 0);
            break;
        default:
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

TNVAssistant::TNVAssistant(UString title, std::vector<std::unique_ptr<TNVForm>> forms)
    : FTitle(std::move(title)), FForms(std::move(forms)) {
    for (size_t i = 0; i < FForms.size(); ++i) {
        FForms[i]->Title = FTitle;
        FForms[i]->Step = int(i) + 1;
        FForms[i]->StepCount = int(FForms.size());
    }
}

bool TNVAssistant::ShowModal(HWND owner,
                             const std::function<TNVActionHandler(const UString& onAction)>& handler) {
    FResults.assign(FForms.size(), nvmCancel);
    // The owner comes back enabled whatever happens below.
    struct TOwnerDisabled {
        HWND Owner;
        explicit TOwnerDisabled(HWND owner) : Owner(owner && IsWindow(owner) ? owner : nullptr) {
            if (Owner) EnableWindow(Owner, FALSE);
        }
        ~TOwnerDisabled() { Enable(); }
        void Enable() {
            if (Owner && IsWindow(Owner)) EnableWindow(Owner, TRUE);
            Owner = nullptr;
        }
    } disabled(owner);
    for (size_t i = 0; i < FForms.size(); ++i) {
        TNVForm& form = *FForms[i];
        TNVFormWindow window(form,
                             handler && !form.OnAction.empty() ? handler(form.OnAction) : TNVActionHandler());
        // Enabled before the last form's window goes: the system then gives
        // the activation back to the owner, whose keys work without a click.
        FResults[i] = window.ShowModal(owner, [&disabled, last = i + 1 == FForms.size()](int result) {
            if (last || result == nvmCancel) disabled.Enable();
        });
        if (FResults[i] == nvmCancel) return false;
    }
    return true;
}

std::vector<TNVFormData> TNVAssistant::Data() const {
    std::vector<TNVFormData> data;
    for (size_t i = 0; i < FForms.size(); ++i)
        data.push_back(FForms[i]->Data(i < FResults.size() ? FResults[i] : int(nvmCancel)));
    return data;
}

}  // namespace qr
