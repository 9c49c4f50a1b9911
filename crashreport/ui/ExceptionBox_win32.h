#pragma once
// The crash dialog in its small form and the plain message boxes: a plain
// system window of its own class, independent of the application
// framework, so it works whatever state the program is in.
//
// For tests and the crash-test driver: the window has the class
// "TobriskWndClass" (FindWindowW(L"TobriskWndClass", nullptr)); every
// shown button is a child window of class "BUTTON" (owner-drawn in the full
// dialog, standard push buttons "&OK" / "&Details" in the plain boxes) with
// its caption as window text and the control id 100 + its TBoxButton index
// (plain boxes: "&OK" 104, "&Details" 103); hidden buttons have no window.
// Read them with GetWindowTextW / IsWindowEnabled and press one from any
// thread or process with BM_CLICK or WM_COMMAND (BN_CLICKED, id) to the
// dialog; clicks on disabled buttons are ignored. Escape (WM_KEYDOWN
// VK_ESCAPE) and Ctrl+C (WM_CHAR 3) may be posted to the dialog or a button.
//
// The large form adds a tab control (class "SysTabControl32", id 300) with
// one page per tab, each a child of the dialog with the id 400 + the tab's
// index: a list view ("SysListView32") with the tab's columns, or a
// read-only edit ("Edit") with the tab's text. Only the current tab's page
// is visible; all of them are kept up to date.
#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "base/Exception.h"
#include "base/win32/Handles.h"
#include "crashreport/ui/BoxPictures_win32.h"
#include "crashreport/ui/ExceptionBox.h"
#include "crashreport/ui/ReportTabs.h"

namespace qr {

QR_DECLARE_EXCEPTION(EExceptionBoxError, Exception);

// What the large form shows of the failure's report.
struct TBoxReport {
    // The report's tabs as it stands now.
    std::function<std::vector<TReportTab>()> Tabs;
    // The complete report, waiting for its completion in front of `owner`.
    std::function<UString(HWND owner)> CompleteText;
    // Registers a callback (called from any thread) for every change of the
    // report; null ends it.
    std::function<void(std::function<void()> changed)> Watch;
};

class TExceptionBox {
public:
    // Called on the dialog's thread with the dialog window as owner: for
    // Send, Save, Print while the dialog stays open, and for Restart and
    // Close just before it closes (the report is completed there, with the
    // please-wait window in front of the dialog).
    using TActionHandler = std::function<void(TBoxButton, HWND owner)>;

    TExceptionBox(TBoxContent content, TActionHandler onAction, HMODULE pictures /* nullptr = the program */);
    // Ends the report's refresh callback.
    ~TExceptionBox();
    TExceptionBox(const TExceptionBox&) = delete;
    TExceptionBox& operator=(const TExceptionBox&) = delete;

    // Creates and shows the window, runs its own message loop until the
    // window is destroyed, and returns the button that closed it: Continue,
    // Restart, Close or Show (Show = "re-open in the large form"; plain
    // boxes: "&OK" -> Continue, "&Details" -> Show). The loop translates and
    // dispatches every message of the thread, not only the dialog's, so
    // that on the program's main thread the other windows keep working.
    // Raises EExceptionBoxError when the window cannot be created.
    TBoxButton Run();
    // The report (shown in the large form, watched in both); before Run.
    void SetReport(TBoxReport report) { FReport = std::move(report); }
    HWND Handle() const { return FWindow.Get(); }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    void Create();
    void CreateFonts();
    void CreateButtons(HWND window);
    int CaptionWidth(HDC dc, const UString& caption) const;
    // Handles the dialog's keys; false lets the message go its usual way.
    bool PreTranslate(const MSG& message);
    void Click(int index);
    void Act(TBoxButton button);
    void Flash(int index);
    void FocusMoved(int index);
    void BlendStep();
    void Paint(HWND window);
    void DrawButton(const DRAWITEMSTRUCT& item);
    void CopyMessage();
    // The large form.
    void CreateTabs(HWND window);
    // Registers the report-changed callback (both forms).
    void WatchReport(HWND window);
    void Refresh();
    HWND CreatePage(int index, const TReportTab& tab);
    RECT PageArea() const;
    void PlacePages();
    void ShowCurrentPage();
    void Resized(int clientWidth, int clientHeight);
    void CopyReport();
    HWND Button(int index) const { return index >= 0 && index < kBoxButtonCount ? FButtons[index] : nullptr; }

    TBoxContent FContent;
    TActionHandler FOnAction;
    HMODULE FPictureModule;
    win32::TWindowHandle FWindow;
    win32::TFontHandle FFont;
    TBoxLayout FLayout;
    HWND FButtons[kBoxButtonCount] = {};  // children: destroyed with the window
    TBoxPicture FIcon;
    TBoxPicture FPictures[kBoxButtonCount];
    TBoxPicture FCantContinue;
    int FBitsPerPixel = 32;
    TBoxButton FResult = TBoxButton::Continue;
    // Focus look: the focused button, each button's blend step (0 = normal,
    // kBlendSteps = focused), when the focus last moved, the button shown
    // pressed (-1: none).
    int FFocused = -1;
    int FBlend[kBoxButtonCount] = {};
    DWORD FFocusMovedAt = 0;
    int FPressed = -1;
    // The large form: the report, the refresh the report's changes post
    // (shared with the callback, which may outlive the dialog by a moment),
    // the tab control and its pages, the layout the window started with.
    struct TRefreshTarget {
        std::atomic<HWND> Window{nullptr};
        std::atomic<bool> Posted{false};
    };
    TBoxReport FReport;
    std::shared_ptr<TRefreshTarget> FRefresh = std::make_shared<TRefreshTarget>();
    HWND FTabs = nullptr;
    std::vector<HWND> FPages;
    std::vector<TReportTab> FShownTabs;
    TBoxLayout FInitialLayout;
    SIZE FMinimumSize = {};
    win32::TFontHandle FFixedFont, FSmallFont;
    HWND FLastFocus = nullptr;
};

}  // namespace qr
