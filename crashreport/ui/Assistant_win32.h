#pragma once
// The assistant engine's windows: one form (`TNVForm`) at a time as a
// modal window of its own class, and the assistant (`TNVAssistant`) that
// shows its forms one after another with the owner disabled.
//
// For tests: a form's window has the class "TNVFormWndClass" and the
// assistant's title; its buttons "ContinueBtn", "SkipBtn", "CancelBtn" are
// BUTTON children with the ids 100, 101, 102, its own items children with
// the id 200 + their index among the own items (edits "Edit", check boxes
// "Button", labels and images "Static"). Press a button with BM_CLICK,
// type into an edit with WM_SETTEXT (the form sees the change), post
// WM_KEYDOWN VK_ESCAPE for the escape key.
#include <windows.h>

#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "base/win32/Handles.h"
#include "crashreport/ui/AssistantForm.h"
#include "crashreport/ui/AssistantLayout.h"
#include "crashreport/ui/WindowKit_win32.h"

namespace qr {

enum TNVAction { nvaFormCreated = 0, nvaFormShown = 1, nvaFormClosed = 2, nvaItemEvent = 3 };

// A picture for a `TNVImage`: 32-bit pixels (blue, green, red, unused),
// top row first.
struct TNVPicture {
    int Width = 0, Height = 0;
    std::vector<uint32_t> Pixels;
    bool Empty() const { return Width <= 0 || Height <= 0; }
    // How GDI is to read or write `Pixels`.
    BITMAPINFO BitsInfo() const { return TopDownBitmapInfo(Width, Height); }
};

class TNVFormWindow;
// The form's action handler: the form, the action, the item (null for the
// form's own actions and the timer).
using TNVActionHandler = std::function<void(TNVFormWindow& form, TNVAction action, TNVItem* item)>;

class TNVFormWindow {
public:
    TNVFormWindow(TNVForm& form, TNVActionHandler handler);
    ~TNVFormWindow();
    TNVFormWindow(const TNVFormWindow&) = delete;
    TNVFormWindow& operator=(const TNVFormWindow&) = delete;

    // Runs the form until one of its buttons ends it: nvmContinue, nvmSkip
    // or nvmCancel (also when the window cannot be made or the thread is
    // asked to quit). Texts typed and boxes ticked stay in the form's items
    // only when it ends with "Continue". `ending` is called with the result
    // just before the window goes (the assistant enables its owner there,
    // so that the owner becomes the active window again).
    int ShowModal(HWND owner, const std::function<void(int result)>& ending = {});

    TNVForm& Form() { return FForm; }
    // How the form ended; 0 while it runs (the form-closed action sees it).
    int ModalResult() const { return FResult; }
    HWND Handle() const { return FWindow.Get(); }
    // An edit's current text (what is typed, before the form ends).
    UString CurrentText(const TNVEdit& edit) const;
    bool CurrentlyChecked(const TNVCheckBox& box) const;
    // Shows a picture in an image item.
    void SetPicture(const TNVImage& image, TNVPicture picture);
    const TNVPicture* Picture(const TNVImage& image) const;
    // Brings "Continue" in line with the edits' validity.
    void UpdateContinue();

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    bool Create(HWND owner);
    TNVFormMeasure Measure(HDC dc);
    void CreateItems(HWND window);
    bool PreTranslate(MSG& message);
    void ItemEvent(TNVItem* item);
    void Press(int button);
    void Paint(HWND window);
    void DrawImage(const DRAWITEMSTRUCT& draw);
    void Call(TNVAction action, TNVItem* item);
    int IndexOf(HWND control) const;
    HWND Control(const TNVItem& item) const;

    TNVForm& FForm;
    TNVActionHandler FHandler;
    std::vector<TNVItem*> FItems;  // the buttons first
    std::vector<HWND> FControls;   // by item; children, destroyed with the window
    std::vector<TNVPicture> FPictures;
    win32::TWindowHandle FWindow;
    win32::TFontHandle FFont, FHeadlineFont, FStepFont;
    TNVFormLayout FLayout;
    int FResult = 0;
    bool FCreating = false;  // no item events while the controls are filled
};

class TNVAssistant {
public:
    // `forms` in order; their step numbers and title are set here.
    TNVAssistant(UString title, std::vector<std::unique_ptr<TNVForm>> forms);

    // Disables the owner, shows the forms one after another, stops at the
    // first that ends with "Cancel", and enables the owner again. `handler`
    // finds a form's action handler by its OnAction name (null: none).
    // True when the user went through every form.
    bool ShowModal(HWND owner, const std::function<TNVActionHandler(const UString& onAction)>& handler);

    const std::vector<std::unique_ptr<TNVForm>>& Forms() const { return FForms; }
    // Each shown form's result (nvmCancel for the ones not reached).
    std::vector<TNVFormData> Data() const;

private:
    UString FTitle;
    std::vector<std::unique_ptr<TNVForm>> FForms;
    std::vector<int> FResults;
};

}  // namespace qr
