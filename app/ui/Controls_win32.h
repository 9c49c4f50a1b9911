#pragma once
// The main window's visual controls: Unicode labels, edits, a push button
// and a multi-line memo. Each keeps its stored geometry and text until its
// native window exists, then mirrors them into it.
#include <windows.h>

#include <functional>

#include "base/Component.h"

namespace qr {

using TNotifyEvent = std::function<void(TComponent* sender)>;

class TWinControl : public TComponent {
public:
    explicit TWinControl(TComponent* owner);
    ~TWinControl() override;

    HWND Handle() const { return FHandle; }
    // Creates the native window as a child of `parent`; positions are
    // scaled from 96 DPI by `scale`.
    void CreateHandle(HWND parent, double scale, HFONT font);
    void DestroyHandle();

    int Left = 0, Top = 0, Width = 0, Height = 0;
    int TabOrder = -1;  // -1: takes no focus
    UString GetText() const;
    void SetText(const UString& text);

protected:
    // Called once the native window exists, to fit it to its content.
    virtual void AdjustSize() {}
    virtual const wchar_t* WindowClass() const = 0;
    virtual DWORD WindowStyle() const = 0;
    void PublishGeometry();
    void PublishTabOrder();
    // The control's text under `name` (Caption, Text, Lines).
    TPropInfo& PublishText(const char* name);
    UString FText;
    HWND FHandle = nullptr;
};

class TTntLabel : public TWinControl {
public:
    explicit TTntLabel(TComponent* owner);
    const char* ClassName() const override { return "TTntLabel"; }

protected:
    // A label grows to show its whole caption in the font it really got.
    void AdjustSize() override;
    const wchar_t* WindowClass() const override { return L"STATIC"; }
    DWORD WindowStyle() const override { return SS_LEFT | SS_NOPREFIX; }
};

class TTntEdit : public TWinControl {
public:
    explicit TTntEdit(TComponent* owner);
    const char* ClassName() const override { return "TTntEdit"; }

protected:
    const wchar_t* WindowClass() const override { return L"EDIT"; }
    DWORD WindowStyle() const override { return WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL | ES_LEFT; }
};

class TTntButton : public TWinControl {
public:
    explicit TTntButton(TComponent* owner);
    const char* ClassName() const override { return "TTntButton"; }
    TNotifyEvent OnClick;
    void Click();

protected:
    const wchar_t* WindowClass() const override { return L"BUTTON"; }
    DWORD WindowStyle() const override { return WS_TABSTOP | BS_PUSHBUTTON; }
};

class TMemo : public TWinControl {
public:
    explicit TMemo(TComponent* owner);
    const char* ClassName() const override { return "TMemo"; }

protected:
    const wchar_t* WindowClass() const override { return L"EDIT"; }
    DWORD WindowStyle() const override {
        return WS_TABSTOP | WS_BORDER | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_AUTOVSCROLL |
               ES_AUTOHSCROLL | ES_WANTRETURN;
    }
};

}  // namespace qr
