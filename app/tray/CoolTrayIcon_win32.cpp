#include "app/tray/CoolTrayIcon_win32.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <shlwapi.h>

#include "app/tray/ShellSeam_win32.h"
#include "app/ui/HiddenWindow_win32.h"

namespace qr {

// The shell knows this record by its size: 936 bytes on x86.
static_assert(sizeof(void*) != 4 || kNotifyRecordSize == 936, "notify record layout");

// The process-wide hidden window the shell posts the icons' callbacks to.
class TTrayIconHandler {
public:
    TTrayIconHandler()
        : Window(L"TTrayIconHandler",
                 [this](HWND h, UINT m, WPARAM w, LPARAM l) { return Proc(h, m, w, l); }) {}

    LRESULT Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        switch (msg) {
            case kTrayCallbackMessage: {
                auto it = Icons.find(uint32_t(wParam));
                if (it != Icons.end()) it->second->HandleIconMessage(lParam);
                return 0;
            }
            // Never refuse the end of a session; never be closed from outside.
            case WM_DESTROY:
            case WM_CLOSE:
            case WM_QUERYENDSESSION:
            case WM_QUIT:
            case WM_ENDSESSION:
            case WM_NCDESTROY:
                return 1;
            default:
                return DefWindowProcW(hwnd, msg, wParam, lParam);
        }
    }

    int UserCount = 0;
    THiddenWindow Window;
    std::map<uint32_t, TCoolTrayIcon*> Icons;
};

namespace {

TTrayIconHandler* gTrayHandler = nullptr;
uint32_t gNextIconId = 1;
const wchar_t* const kThunkProperty = L"QrCoolTrayIcon";

UINT RegisterTaskbarCreated() {
    win32::TModule comctl(LoadLibraryW(L"comctl32.dll"));
    if (!comctl) return 0;
    UINT message = 0;
    auto get = reinterpret_cast<DLLGETVERSIONPROC>(
        reinterpret_cast<void*>(GetProcAddress(comctl.Get(), "DllGetVersion")));
    DLLVERSIONINFO info{};
    info.cbSize = sizeof info;
    if (get && SUCCEEDED(get(&info))) {
        DWORD version = (info.dwMajorVersion << 16) | (info.dwMinorVersion & 0xFFFF);
        if (version >= ((4u << 16) | 71u)) message = RegisterWindowMessageW(L"TaskbarCreated");
    }
    return message;
}

// Registered while the program starts, before any window exists.
const UINT gTaskbarCreated = RegisterTaskbarCreated();

TShiftState KeyShift() {
    TShiftState s = 0;
    if (GetAsyncKeyState(VK_SHIFT) < 0) s |= ssShift;
    if (GetAsyncKeyState(VK_CONTROL) < 0) s |= ssCtrl;
    if (GetAsyncKeyState(VK_MENU) < 0) s |= ssAlt;
    return s;
}

void ProcessMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Leave the quit request for the main loop.
            PostQuitMessage(int(msg.wParam));
            break;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

}  // namespace

UINT TaskbarCreatedMessage() { return gTaskbarCreated; }

HWND TCoolTrayIcon::HandlerWindow() { return gTrayHandler ? gTrayHandler->Window.Handle() : nullptr; }

TCoolTrayIcon::TCoolTrayIcon(TComponent* owner) : TComponent(owner) {
    if (!gTrayHandler) gTrayHandler = new TTrayIconHandler;
    ++gTrayHandler->UserCount;
    FIconId = gNextIconId++;
    gTrayHandler->Icons[FIconId] = this;

    FIcon = std::make_unique<TIcon>();
    FIcon->OnChange = [this](TIcon*) { RefreshTray(); };

    std::memset(&FNotifyRecord, 0, sizeof FNotifyRecord);
    FNotifyRecord.cbSize = kNotifyRecordSize;
    FNotifyRecord.hWnd = gTrayHandler->Window.Handle();
    FNotifyRecord.uID = FIconId;
    FNotifyRecord.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    FNotifyRecord.uCallbackMessage = kTrayCallbackMessage;

    FAnimationTimer = std::make_unique<TSimpleTimer>(1000, [this](TSimpleTimer*) { CycleTick(); });
    FSingleClickTimer = std::make_unique<TSimpleTimer>(1000, [this](TSimpleTimer*) { SingleClickTick(); });
    FLeavePollTimer = std::make_unique<TSimpleTimer>(20, [this](TSimpleTimer*) { LeavePollTick(); });

    if (TApplication* app = TApplication::Instance()) {
        FAppHook = [this](UINT m, WPARAM w, LPARAM l, LRESULT&) { return HookAppProc(m, w, l); };
        app->HookMainWindow(&FAppHook);
        FAppHooked = true;
    }

    PublishBoolean(
        "DesignPreview", [this] { return DesignPreview; }, [this](bool v) { DesignPreview = v; });
    PublishReference<TCustomImageList>(
        "IconList", "TCustomImageList", [this] { return FIconList; },
        [this](TCustomImageList* l) { SetIconList(l); });
    PublishBoolean(
        "CycleIcons", [this] { return FCycleIcons; }, [this](bool v) { SetCycleIcons(v); });
    PublishInteger(
        "CycleInterval", [this] { return FCycleInterval; },
        [this](int64_t v) { SetCycleInterval(unsigned(v)); });
    PublishBoolean(
        "Enabled", [this] { return Enabled; }, [this](bool v) { Enabled = v; });
    PublishString(
        "Hint", [this] { return FHint; }, [this](const UString& v) { SetHint(v); });
    PublishBoolean(
        "ShowHint", [this] { return FShowHint; }, [this](bool v) { SetShowHint(v); });
    TPropInfo icon;
    icon.Name = "Icon";
    icon.Kind = TTypeKind::tkClass;
    icon.TypeName = "TIcon";
    icon.Object = [this]() -> TPersistent* { return FIcon.get(); };
    Publish(icon);
    TPropInfo iconData;
    iconData.Name = "Icon.Data";
    iconData.Kind = TTypeKind::tkBinary;
    iconData.TypeName = "TIcon";
    iconData.SetBinary = [this](const std::string& bytes) {
        TIcon picture;
        picture.LoadFromBytes(bytes);
        SetIcon(picture);
    };
    Publish(iconData);
    PublishBoolean(
        "IconVisible", [this] { return FIconVisible; }, [this](bool v) { SetIconVisible(v); });
    PublishInteger(
        "IconIndex", [this] { return FIconIndex; }, [this](int64_t v) { SetIconIndex(int(v)); });
    PublishReference<TPopupMenu>(
        "PopupMenu", "TPopupMenu", [this] { return FPopupMenu; }, [this](TPopupMenu* m) { SetPopupMenu(m); });
    PublishBoolean(
        "LeftPopup", [this] { return LeftPopup; }, [this](bool v) { LeftPopup = v; });
    PublishBoolean(
        "WantEnterExitEvents", [this] { return FWantEnterExitEvents; },
        [this](bool v) { SetWantEnterExitEvents(v); });
    PublishBoolean(
        "MinimizeToTray", [this] { return MinimizeToTray; }, [this](bool v) { MinimizeToTray = v; });
}

TCoolTrayIcon::~TCoolTrayIcon() {
    try {
        RemoveFromTray();
        DesignPreview = false;
        FAnimationTimer.reset();
        FSingleClickTimer.reset();
        FLeavePollTimer.reset();
        try {
            FIcon.reset();
        } catch (const Exception&) {
        }
    } catch (...) {
    }
    if (FAppHooked && TApplication::Instance()) TApplication::Instance()->UnhookMainWindow(&FAppHook);
    FAppHooked = false;
    if (FOwnerWindow && FSavedOwnerWndProc) {
        SetWindowLongPtrW(FOwnerWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FSavedOwnerWndProc));
        RemovePropW(FOwnerWindow, kThunkProperty);
    }
    FSavedOwnerWndProc = nullptr;
    FOwnerWndProcThunk = nullptr;
    FOwnerWindow = nullptr;
    if (gTrayHandler) {
        gTrayHandler->Icons.erase(FIconId);
        if (gTrayHandler->UserCount > 0) --gTrayHandler->UserCount;
        if (gTrayHandler->UserCount == 0) {
            delete gTrayHandler;
            gTrayHandler = nullptr;
        }
    }
}

void TCoolTrayIcon::AttachOwnerWindow(HWND window) {
    if (!window || FOwnerWindow) return;
    FOwnerWindow = window;
    SetPropW(window, kThunkProperty, this);
    FSavedOwnerWndProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(window, GWLP_WNDPROC));
    FOwnerWndProcThunk = &TCoolTrayIcon::OwnerThunk;
    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FOwnerWndProcThunk));
}

LRESULT CALLBACK TCoolTrayIcon::OwnerThunk(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = static_cast<TCoolTrayIcon*>(GetPropW(hwnd, kThunkProperty));
    if (!self) return DefWindowProcW(hwnd, msg, wParam, lParam);
    try {
        return self->OwnerProc(msg, wParam, lParam);
    } catch (...) {
        if (TApplication* application = TApplication::Instance())
            application->HandleException(std::current_exception());
        return 0;
    }
}

LRESULT TCoolTrayIcon::OwnerProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    TApplication* app = TApplication::Instance();
    if (msg == WM_SHOWWINDOW && wParam == 1 && lParam == 0) {
        if (app) SetForegroundWindow(app->Handle());
        SetForegroundWindow(FOwnerWindow);
    } else if ((msg == WM_SHOWWINDOW && wParam == 0 && lParam == SW_PARENTCLOSING &&
                !(app && app->Terminated())) ||
               (msg == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_MINIMIZE)) {
        if (MinimizeToTray && OnMinimizeToTray) {
            OnMinimizeToTray(this);
            SendToTray();
            return 1;
        }
    }
    return CallWindowProcW(FSavedOwnerWndProc, FOwnerWindow, msg, wParam, lParam);
}

bool TCoolTrayIcon::HookAppProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    (void)lParam;
    TApplication* app = TApplication::Instance();
    HWND mainWindow = app ? app->MainWindow : nullptr;
    if (msg == WM_SIZE && wParam == SIZE_MINIMIZED && MinimizeToTray) SendToTray();
    if (msg == WM_WINDOWPOSCHANGED && FFirstPositionChange && mainWindow) FFirstPositionChange = false;
    if (msg == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_RESTORE && mainWindow) {
        if (IsIconic(mainWindow)) ShowWindow(mainWindow, SW_RESTORE);
        ShowWindow(mainWindow, SW_SHOW);
    }
    if (gTaskbarCreated != 0 && msg == gTaskbarCreated && FIconVisible) AddToTray();
    return false;
}

bool TCoolTrayIcon::PrepareNotifyRecord() {
    try {
        FNotifyRecord.hIcon = FIcon ? FIcon->Handle() : nullptr;
    } catch (const EReadError&) {
        FNotifyRecord.hIcon = nullptr;
    }
    constexpr size_t kTipUnits = sizeof FNotifyRecord.szTip / sizeof FNotifyRecord.szTip[0];
    std::memset(FNotifyRecord.szTip, 0, sizeof FNotifyRecord.szTip);
    if (!FHint.empty() && FShowHint) {
        size_t n = std::min(FHint.size(), kTipUnits - 1);
        std::memcpy(FNotifyRecord.szTip, FHint.data(), n * sizeof(char16_t));
    }
    return true;
}

bool TCoolTrayIcon::AddToTray() {
    if (!FPreviewInProgress) FIconVisible = true;
    if (!PrepareNotifyRecord()) return false;
    return ShellNotifyIcon()(NIM_ADD, &FNotifyRecord) != FALSE;
}

bool TCoolTrayIcon::RemoveFromTray() {
    if (!FPreviewInProgress) FIconVisible = false;
    if (!PrepareNotifyRecord()) return false;
    return ShellNotifyIcon()(NIM_DELETE, &FNotifyRecord) != FALSE;
}

bool TCoolTrayIcon::RefreshTray() {
    if (!PrepareNotifyRecord()) return false;
    return ShellNotifyIcon()(NIM_MODIFY, &FNotifyRecord) != FALSE;
}

void TCoolTrayIcon::SetVersionMode(uint8_t mode) {
    FVersionMode = mode;
    if (mode == 0) FNotifyRecord.uVersion = 0;
    if (mode == 1) FNotifyRecord.uVersion = 3;
    ShellNotifyIcon()(NIM_SETVERSION, &FNotifyRecord);
}

void TCoolTrayIcon::Loaded() {
    TComponent::Loaded();
    if (FOwnerWindow && OnStartup) {
        bool show = true;
        OnStartup(this, show);
        if (!show) {
            if (TApplication* app = TApplication::Instance()) app->ShowMainForm = false;
            HideMainWindows();
        }
    }
    RefreshTray();
    SetIconVisible(FIconVisible);
    SetCycleIcons(FCycleIcons);
    SetWantEnterExitEvents(FWantEnterExitEvents);
    SetVersionMode(FVersionMode);
}

void TCoolTrayIcon::Notification(TComponent* component, TOperation operation) {
    TComponent::Notification(component, operation);
    if (operation != TOperation::opRemove) return;
    if (component == FIconList) SetIconList(nullptr);
    if (component == FPopupMenu) FPopupMenu = nullptr;
}

void TCoolTrayIcon::SetIconVisible(bool value) {
    if (value)
        AddToTray();
    else
        RemoveFromTray();
}

void TCoolTrayIcon::SetHint(const UString& value) {
    FHint = value;
    RefreshTray();
}

void TCoolTrayIcon::SetShowHint(bool value) {
    FShowHint = value;
    RefreshTray();
}

void TCoolTrayIcon::SetIcon(const TIcon& picture) {
    auto change = std::move(FIcon->OnChange);
    FIcon->OnChange = nullptr;
    FIcon->Assign(picture);
    FIcon->OnChange = std::move(change);
    RefreshTray();
}

void TCoolTrayIcon::SetIconList(TCustomImageList* list) {
    if (FIconList && FIconList != list) FIconList->RemoveFreeNotification(this);
    FIconList = list;
    if (list) list->FreeNotification(this);
    SetIconIndex(0);
}

void TCoolTrayIcon::SetIconIndex(int value) {
    if (FIconList) {
        FIconIndex = value;
        if (value >= FIconList->Count()) FIconIndex = FIconList->Count() - 1;
        if (FIconIndex >= 0 && FIconIndex < FIconList->Count()) FIconList->GetIcon(FIconIndex, *FIcon);
    } else {
        FIconIndex = 0;
    }
    RefreshTray();
}

void TCoolTrayIcon::SetCycleIcons(bool value) {
    FCycleIcons = value;
    if (value) {
        SetIconIndex(0);
        FAnimationTimer->SetInterval(FCycleInterval);
        FAnimationTimer->Start();
    } else {
        FAnimationTimer->Stop();
    }
}

void TCoolTrayIcon::SetCycleInterval(unsigned value) {
    if (value == FCycleInterval) return;
    FCycleInterval = value;
    SetCycleIcons(FCycleIcons);
}

void TCoolTrayIcon::SetWantEnterExitEvents(bool value) {
    FWantEnterExitEvents = value;
    if (value)
        FLeavePollTimer->Start();
    else
        FLeavePollTimer->Stop();
}

void TCoolTrayIcon::SetPopupMenu(TPopupMenu* menu) {
    if (FPopupMenu && FPopupMenu != menu) FPopupMenu->RemoveFreeNotification(this);
    FPopupMenu = menu;
    if (menu) menu->FreeNotification(this);
}

void TCoolTrayIcon::FireClick() {
    if (OnClick) OnClick(this);
}
void TCoolTrayIcon::FireDblClick() {
    if (OnDblClick) OnDblClick(this);
}
void TCoolTrayIcon::FireCycle() {
    if (!OnCycle) return;
    int next = 0;
    if (FIconList && FIconIndex < FIconList->Count()) next = FIconIndex + 1;
    OnCycle(this, next);
}
void TCoolTrayIcon::FireMouseDown(TMouseButton b, TShiftState s, int x, int y) {
    if (OnMouseDown) OnMouseDown(this, b, s, x, y);
}
void TCoolTrayIcon::FireMouseUp(TMouseButton b, TShiftState s, int x, int y) {
    if (OnMouseUp) OnMouseUp(this, b, s, x, y);
}
void TCoolTrayIcon::FireMouseMove(TShiftState s, int x, int y) {
    if (OnMouseMove) OnMouseMove(this, s, x, y);
}
void TCoolTrayIcon::FireMouseEnter() {
    if (OnMouseEnter) OnMouseEnter(this);
}
void TCoolTrayIcon::FireMouseExit() {
    if (OnMouseExit) OnMouseExit(this);
}
void TCoolTrayIcon::SendToTray() {
    HideMainWindows();
    SetIconVisible(true);
}

void TCoolTrayIcon::HideMainWindows() {
    TApplication* app = TApplication::Instance();
    if (!FOwnerWindow || !app || !app->MainWindow) return;
    ShowWindow(app->MainWindow, SW_HIDE);
    if (IsWindowVisible(app->Handle())) ShowWindow(app->Handle(), SW_HIDE);
}

void TCoolTrayIcon::HandleIconMessage(LPARAM event) {
    const UINT msg = UINT(event);
    if (msg >= NIN_BALLOONSHOW && msg <= NIN_BALLOONUSERCLICK) {
        const TNotifyEvent* events[] = {&OnBalloonHintShow, &OnBalloonHintHide, &OnBalloonHintTimeout,
                                        &OnBalloonHintClick};
        const TNotifyEvent& e = *events[msg - NIN_BALLOONSHOW];
        if (e) e(this);
        return;
    }
    if (!Enabled) return;
    POINT p{0, 0};
    GetCursorPos(&p);
    const int x = p.x, y = p.y;
    const TShiftState shift = KeyShift();
    const bool menuReady = FPopupMenu && FPopupMenu->AutoPopup;
    switch (msg) {
        case WM_MOUSEMOVE:
            if (FWantEnterExitEvents && FCursorOutside) {
                FireMouseEnter();
                FCursorOutside = false;
            }
            FireMouseMove(shift, x, y);
            FLastCursorPos = p;
            break;
        case WM_LBUTTONDOWN:
            if (OnDblClick) {
                FSingleClickTimer->SetInterval(GetDoubleClickTime());
                FSingleClickTimer->Start();
            }
            FireMouseDown(TMouseButton::mbLeft, shift | ssLeft, x, y);
            FClickPending = true;
            if (LeftPopup && menuReady) {
                SetForegroundWindow(FNotifyRecord.hWnd);
                ShowMenuAtCursor();
            }
            break;
        case WM_LBUTTONUP:
            if (FClickPending) FClickReleased = true;
            if (FClickPending && !FSingleClickTimer->Running()) {
                FClickPending = false;
                FClickReleased = false;
                FireClick();
            }
            FClickPending = false;
            FireMouseUp(TMouseButton::mbLeft, shift | ssLeft, x, y);
            break;
        case WM_LBUTTONDBLCLK:
            FClickReleased = false;
            FDoubleClicked = true;
            FireDblClick();
            if (menuReady && !LeftPopup) {
                TMenuItem& items = FPopupMenu->Items();
                for (int i = 0; i < items.Count(); ++i)
                    if (items.Items(i)->Default) {
                        items.Items(i)->Click();
                        break;
                    }
            }
            break;
        case WM_RBUTTONDOWN:
            FireMouseDown(TMouseButton::mbRight, shift | ssRight, x, y);
            if (menuReady) {
                SetForegroundWindow(FNotifyRecord.hWnd);
                ShowMenuAtCursor();
            }
            break;
        case WM_RBUTTONUP:
            if (FVersionMode == 0) FireMouseUp(TMouseButton::mbRight, shift | ssRight, x, y);
            break;
        case WM_MBUTTONDOWN:
            FireMouseDown(TMouseButton::mbMiddle, shift | ssMiddle, x, y);
            break;
        case WM_MBUTTONUP:
            FireMouseUp(TMouseButton::mbMiddle, shift | ssMiddle, x, y);
            break;
        case WM_CONTEXTMENU:
        case NIN_SELECT:
        case NIN_KEYSELECT:
            if (FVersionMode == 1) FireMouseUp(TMouseButton::mbRight, shift | ssRight, x, y);
            break;
        default:
            break;
    }
}

void TCoolTrayIcon::ShowMenuAtCursor() {
    POINT p;
    if (!GetCursorPos(&p)) return;
    ShowMenuAt(p.x, p.y);
}

void TCoolTrayIcon::ShowMenuAt(int x, int y) {
    if (!FPopupMenu) return;
    SetForegroundWindow(FNotifyRecord.hWnd);
    ProcessMessages();
    FPopupMenu->PopupComponent = this;
    FPopupMenu->Popup(x, y);
    if (FOwnerWindow) PostMessageW(FOwnerWindow, WM_NULL, 0, 0);
}

void TCoolTrayIcon::CycleTick() {
    if (!FIconList) return;
    if (FIconIndex >= 0 && FIconIndex < FIconList->Count()) FIconList->GetIcon(FIconIndex, *FIcon);
    FireCycle();
    SetIconIndex(FIconIndex + 1 < FIconList->Count() ? FIconIndex + 1 : 0);
}

void TCoolTrayIcon::SingleClickTick() {
    FSingleClickTimer->Stop();
    if (!FDoubleClicked && FClickReleased) {
        FClickReleased = false;
        FireClick();
    }
    FDoubleClicked = false;
}

void TCoolTrayIcon::LeavePollTick() {
    if (FCursorOutside) return;
    POINT p;
    if (!GetCursorPos(&p)) return;
    if (p.x != FLastCursorPos.x || p.y != FLastCursorPos.y) {
        FCursorOutside = true;
        FireMouseExit();
    }
}

}  // namespace qr
