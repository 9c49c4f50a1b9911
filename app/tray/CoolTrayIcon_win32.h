#pragma once
// The tray icon component: one icon in the notification area, its tip, its
// mouse callbacks and the popup menu it opens, kept alive across restarts
// of the shell.
#include <windows.h>
#include <shellapi.h>

#include <cstdint>
#include <functional>
#include <memory>

#include "app/ui/Application_win32.h"
#include "app/ui/ImageList_win32.h"
#include "app/ui/Menus_win32.h"
#include "app/ui/SimpleTimer_win32.h"
#include "base/Component.h"

namespace qr {

enum class TMouseButton { mbLeft, mbRight, mbMiddle };
using TShiftState = unsigned;
constexpr TShiftState ssShift = 1, ssAlt = 2, ssCtrl = 4, ssLeft = 8, ssRight = 16, ssMiddle = 32;

using TNotifyEvent = std::function<void(TComponent*)>;
using TMouseEvent = std::function<void(TComponent*, TMouseButton, TShiftState, int x, int y)>;
using TMouseMoveEvent = std::function<void(TComponent*, TShiftState, int x, int y)>;
using TCycleEvent = std::function<void(TComponent*, int nextIndex)>;
using TStartupEvent = std::function<void(TComponent*, bool& showMainForm)>;

// The message the shell posts for the icon's mouse events.
constexpr UINT kTrayCallbackMessage = 0x0800;
// The record the shell gets: the layout up to dwInfoFlags.
constexpr DWORD kNotifyRecordSize = DWORD(offsetof(NOTIFYICONDATAW, guidItem));

// "TaskbarCreated", registered when comctl32 is 4.71 or later; 0 otherwise.
UINT TaskbarCreatedMessage();

// A component whose owner has a window: the tray icon replaces that
// window's procedure. The owner hands the window over once it exists.
class TCoolTrayIcon : public TComponent {
public:
    explicit TCoolTrayIcon(TComponent* owner);
    ~TCoolTrayIcon() override;
    const char* ClassName() const override { return "TCoolTrayIcon"; }

    virtual bool WantsDefaultIcon() { return true; }
    virtual bool AddToTray();
    virtual bool RemoveFromTray();
    virtual bool RefreshTray();
    void Loaded() override;
    void Notification(TComponent* component, TOperation operation) override;

    // Replaces `window`'s procedure; the original is put back on destruction.
    void AttachOwnerWindow(HWND window);

    // Properties.
    bool IconVisible() const { return FIconVisible; }
    void SetIconVisible(bool value);
    const UString& Hint() const { return FHint; }
    void SetHint(const UString& value);
    bool ShowHint() const { return FShowHint; }
    void SetShowHint(bool value);
    TIcon& Icon() { return *FIcon; }
    void SetIcon(const TIcon& picture);
    TCustomImageList* IconList() const { return FIconList; }
    void SetIconList(TCustomImageList* list);
    int IconIndex() const { return FIconIndex; }
    void SetIconIndex(int value);
    bool CycleIcons() const { return FCycleIcons; }
    void SetCycleIcons(bool value);
    unsigned CycleInterval() const { return FCycleInterval; }
    void SetCycleInterval(unsigned value);
    bool WantEnterExitEvents() const { return FWantEnterExitEvents; }
    void SetWantEnterExitEvents(bool value);
    TPopupMenu* PopupMenu() const { return FPopupMenu; }
    void SetPopupMenu(TPopupMenu* menu);
    void SetVersionMode(uint8_t mode);

    bool Enabled = true;
    bool LeftPopup = false;
    bool MinimizeToTray = false;
    bool DesignPreview = false;

    TNotifyEvent OnClick, OnDblClick;
    TCycleEvent OnCycle;
    TStartupEvent OnStartup;
    TMouseEvent OnMouseDown, OnMouseUp;
    TMouseMoveEvent OnMouseMove;
    TNotifyEvent OnMouseEnter, OnMouseExit, OnMinimizeToTray;
    TNotifyEvent OnBalloonHintShow, OnBalloonHintHide, OnBalloonHintTimeout, OnBalloonHintClick;

    uint32_t IconId() const { return FIconId; }
    const NOTIFYICONDATAW& NotifyRecord() const { return FNotifyRecord; }
    // The hidden window the shell posts the icon's callbacks to.
    static HWND HandlerWindow();
    void ShowMenuAtCursor();
    void ShowMenuAt(int x, int y);

protected:
    virtual void FireClick();
    virtual void FireDblClick();
    virtual void FireCycle();
    virtual void FireMouseDown(TMouseButton button, TShiftState shift, int x, int y);
    virtual void FireMouseUp(TMouseButton button, TShiftState shift, int x, int y);
    virtual void FireMouseMove(TShiftState shift, int x, int y);
    virtual void FireMouseEnter();
    virtual void FireMouseExit();
    virtual void SendToTray();

private:
    friend class TTrayIconHandler;
    bool PrepareNotifyRecord();
    void HandleIconMessage(LPARAM event);
    bool HookAppProc(UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT OwnerProc(UINT msg, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK OwnerThunk(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void HideMainWindows();
    void CycleTick();
    void SingleClickTick();
    void LeavePollTick();

    std::unique_ptr<TIcon> FIcon;
    uint32_t FIconId = 0;
    bool FIconVisible = false;
    UString FHint;
    bool FShowHint = true;
    TPopupMenu* FPopupMenu = nullptr;
    bool FClickPending = false;
    bool FClickReleased = false;
    std::unique_ptr<TSimpleTimer> FAnimationTimer;
    std::unique_ptr<TSimpleTimer> FSingleClickTimer;
    std::unique_ptr<TSimpleTimer> FLeavePollTimer;
    POINT FLastCursorPos{0, 0};
    bool FCursorOutside = true;
    bool FWantEnterExitEvents = false;
    uint8_t FVersionMode = 0;
    bool FDoubleClicked = false;
    int FIconIndex = 0;
    bool FPreviewInProgress = false;
    bool FFirstPositionChange = true;
    TCustomImageList* FIconList = nullptr;
    bool FCycleIcons = false;
    unsigned FCycleInterval = 0;
    HWND FOwnerWindow = nullptr;
    WNDPROC FSavedOwnerWndProc = nullptr;
    WNDPROC FOwnerWndProcThunk = nullptr;
    TApplication::TWindowHook FAppHook;
    bool FAppHooked = false;
    NOTIFYICONDATAW FNotifyRecord;
};

}  // namespace qr
