#include "app/ui/Controls_win32.h"

#include <cmath>

#include "base/win32/WideText.h"

namespace qr {

TWinControl::TWinControl(TComponent* owner) : TComponent(owner) {}

TWinControl::~TWinControl() { DestroyHandle(); }

void TWinControl::PublishGeometry() {
    PublishInteger(
        "Left", [this] { return Left; }, [this](int64_t v) { Left = int(v); });
    PublishInteger(
        "Top", [this] { return Top; }, [this](int64_t v) { Top = int(v); });
    PublishInteger(
        "Width", [this] { return Width; }, [this](int64_t v) { Width = int(v); });
    PublishInteger(
        "Height", [this] { return Height; }, [this](int64_t v) { Height = int(v); });
}

void TWinControl::PublishTabOrder() {
    PublishInteger(
        "TabOrder", [this] { return TabOrder; }, [this](int64_t v) { TabOrder = int(v); });
}

TPropInfo& TWinControl::PublishText(const char* name) {
    return PublishString(
        name, [this] { return GetText(); }, [this](const UString& v) { SetText(v); });
}

void TWinControl::CreateHandle(HWND parent, double scale, HFONT font) {
    if (FHandle) return;
    auto px = [scale](int v) { return int(std::lround(v * scale)); };
    FHandle =
        CreateWindowExW(0, WindowClass(), win32::Wide(FText), WS_CHILD | WS_VISIBLE | WindowStyle(), px(Left),
                        px(Top), px(Width), px(Height), parent, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (FHandle && font) SendMessageW(FHandle, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (FHandle) AdjustSize();
}

void TWinControl::DestroyHandle() {
    if (FHandle) {
        FText = GetText();
        DestroyWindow(FHandle);
        FHandle = nullptr;
    }
}

UString TWinControl::GetText() const {
    if (!FHandle) return FText;
    int n = GetWindowTextLengthW(FHandle);
    UString text(size_t(n) + 1, u'\0');
    n = GetWindowTextW(FHandle, win32::WideBuffer(text), n + 1);
    text.resize(size_t(n > 0 ? n : 0));
    return text;
}

void TWinControl::SetText(const UString& text) {
    // A window's text ends at its first zero character.
    FText = text.substr(0, text.find(u'\0'));
    if (FHandle) SetWindowTextW(FHandle, win32::Wide(FText));
}

TTntLabel::TTntLabel(TComponent* owner) : TWinControl(owner) {
    PublishGeometry();
    PublishText("Caption");
}

void TTntLabel::AdjustSize() {
    HDC dc = GetDC(FHandle);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(FHandle, WM_GETFONT, 0, 0)));
    SIZE extent{};
    GetTextExtentPoint32W(dc, win32::Wide(FText), int(FText.size()), &extent);
    SelectObject(dc, old);
    ReleaseDC(FHandle, dc);
    RECT r;
    GetWindowRect(FHandle, &r);
    if (extent.cx > r.right - r.left)
        SetWindowPos(FHandle, nullptr, 0, 0, extent.cx, r.bottom - r.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

TTntEdit::TTntEdit(TComponent* owner) : TWinControl(owner) {
    PublishGeometry();
    PublishTabOrder();
    PublishText("Text");
}

TTntButton::TTntButton(TComponent* owner) : TWinControl(owner) {
    PublishGeometry();
    PublishTabOrder();
    PublishText("Caption");
}

void TTntButton::Click() {
    if (OnClick) OnClick(this);
}

TMemo::TMemo(TComponent* owner) : TWinControl(owner) {
    PublishGeometry();
    PublishTabOrder();
    PublishText("Text");
    // The lines of the memo as one text, CR LF between lines.
    PublishText("Lines").TypeName = "TStrings";
}

}  // namespace qr
