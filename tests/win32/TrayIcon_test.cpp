// The tray icon's conversation with the shell, recorded call by call
// through the shell seam, with the stored description the program uses.
#include <windows.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/ui/Application_win32.h"
#include "app/tray/CoolTrayIcon_win32.h"
#include "app/FormClasses.h"
#include "app/tray/ShellSeam_win32.h"
#include "base/FormReader.h"

using namespace qr;

namespace {

struct TShellCall {
    DWORD Message;
    NOTIFYICONDATAW Record;
    BOOL Result;
};

// Stands in for the shell: keeps the set of icons present, refuses what the
// shell refuses (a second add, a modify or delete of an absent icon), and
// records every call with a copy of its record.
class TShellRecorder {
public:
    TShellRecorder() {
        FSaved = ShellNotifyIcon();
        ShellNotifyIcon() = [this](DWORD message, NOTIFYICONDATAW* data) {
            bool present = std::find(FPresent.begin(), FPresent.end(), data->uID) != FPresent.end();
            BOOL result = TRUE;
            if (message == NIM_ADD) {
                result = !present;
                if (!present) FPresent.push_back(data->uID);
            } else if (message == NIM_MODIFY) {
                result = present;
            } else if (message == NIM_DELETE) {
                result = present;
                FPresent.erase(std::remove(FPresent.begin(), FPresent.end(), data->uID), FPresent.end());
            }
            Calls.push_back({message, *data, result});
            return result;
        };
    }
    ~TShellRecorder() { ShellNotifyIcon() = FSaved; }

    std::vector<TShellCall> Of(DWORD message) const {
        std::vector<TShellCall> out;
        for (const TShellCall& c : Calls)
            if (c.Message == message) out.push_back(c);
        return out;
    }
    // The shell lost its icons (as when the taskbar restarts).
    void Forget() { FPresent.clear(); }

    std::vector<TShellCall> Calls;

private:
    TShellNotifyIcon FSaved;
    std::vector<UINT> FPresent;
};

std::u16string TipOf(const NOTIFYICONDATAW& r) {
    std::u16string tip;
    for (wchar_t c : r.szTip) {
        if (!c) break;
        tip.push_back(char16_t(c));
    }
    return tip;
}

bool TipAllZero(const NOTIFYICONDATAW& r) {
    return std::all_of(std::begin(r.szTip), std::end(r.szTip), [](wchar_t c) { return c == 0; });
}

// The tray objects of the program's stored description (nothing else of
// the window), as the program reads them.
TFormNode TrayObjects() {
    TFormNode node = ParseFormText(LoadMainFormDescription());
    node.Properties.clear();
    std::vector<TFormNode> kept;
    for (const TFormNode& child : node.Children)
        if (child.ClassName == "TCoolTrayIcon" || child.ClassName == "TImageList" ||
            child.ClassName == "TPopupMenu")
            kept.push_back(child);
    node.Children = kept;
    return node;
}

std::string StoredIconFile() {
    for (const TFormNode& child : TrayObjects().Children)
        for (const auto& [name, value] : child.Properties)
            if (name == "Images") return value.Bytes;
    return {};
}

class TForm : public TComponent {
public:
    TForm() : TComponent(nullptr) {}
    ~TForm() override { DestroyComponents(); }
};

class Tray : public testing::Test {
protected:
    TCoolTrayIcon* Load() {
        ReadComponents(form, TrayObjects(), MainFormClasses());
        return dynamic_cast<TCoolTrayIcon*>(form.FindComponent("CoolTrayIcon1"));
    }
    TShellRecorder shell;
    TApplication application;
    TForm form;
};

}  // namespace

TEST_F(Tray, LoadingAddsTheIconOnceWithItsHintWhileIconVisibleIsRead) {
    TCoolTrayIcon* icon = Load();
    ASSERT_NE(icon, nullptr);
    std::vector<TShellCall> adds = shell.Of(NIM_ADD);
    ASSERT_EQ(adds.size(), 2u);
    const NOTIFYICONDATAW& r = adds[0].Record;
    EXPECT_TRUE(adds[0].Result);
    EXPECT_EQ(r.cbSize, kNotifyRecordSize);
#if !defined(_WIN64)
    EXPECT_EQ(r.cbSize, 936u);
#endif
    EXPECT_EQ(r.hWnd, TCoolTrayIcon::HandlerWindow());
    EXPECT_NE(r.hWnd, nullptr);
    EXPECT_EQ(r.uID, icon->IconId());
    EXPECT_EQ(r.uFlags, UINT(NIF_MESSAGE | NIF_ICON | NIF_TIP));
    EXPECT_EQ(r.uCallbackMessage, 2048u);
    EXPECT_NE(r.hIcon, nullptr);
    EXPECT_EQ(TipOf(r), u"Quellora Remote Server");
    // Before the add the shell refused every modify; the second add at the
    // end of loading is refused too, and the icon stays.
    auto firstAdd = std::find_if(shell.Calls.begin(), shell.Calls.end(),
                                 [](const TShellCall& c) { return c.Message == NIM_ADD; });
    for (auto c = shell.Calls.begin(); c != firstAdd; ++c) {
        EXPECT_EQ(c->Message, DWORD(NIM_MODIFY));
        EXPECT_FALSE(c->Result);
    }
    EXPECT_FALSE(adds[1].Result);
    EXPECT_TRUE(icon->IconVisible());
    // The image list's picture is sent once the list is attached.
    EXPECT_TRUE(std::any_of(firstAdd, shell.Calls.end(),
                            [](const TShellCall& c) { return c.Message == NIM_MODIFY && c.Result; }));
    ASSERT_FALSE(shell.Of(NIM_SETVERSION).empty());
    EXPECT_EQ(shell.Of(NIM_SETVERSION).back().Record.uVersion, 0u);
    EXPECT_EQ(icon->PopupMenu(), form.FindComponent("PopupMenu1"));
    EXPECT_EQ(icon->IconList(), form.FindComponent("ImageList1"));
    ASSERT_EQ(icon->PopupMenu()->Items().Count(), 1);
    EXPECT_EQ(icon->PopupMenu()->Items().Items(0)->Caption, u"&Beenden");
}

TEST_F(Tray, TipIsCutTo127UnitsAndZeroFilledWhenEmptyOrHidden) {
    TCoolTrayIcon* icon = Load();
    const std::u16string long128(128, u'x');
    const std::u16string exact127 = std::u16string(126, u'y') + u"z";

    icon->SetHint(long128);
    NOTIFYICONDATAW r = shell.Calls.back().Record;
    EXPECT_EQ(TipOf(r), long128.substr(0, 127));
    EXPECT_EQ(r.szTip[127], 0);

    icon->SetHint(exact127);
    EXPECT_EQ(TipOf(shell.Calls.back().Record), exact127);

    icon->SetHint(u"");
    r = shell.Calls.back().Record;
    EXPECT_EQ(shell.Calls.back().Message, DWORD(NIM_MODIFY));
    EXPECT_TRUE(TipAllZero(r));
    EXPECT_TRUE(r.uFlags & NIF_TIP);

    icon->SetHint(u"Quellora Remote Server");
    icon->SetShowHint(false);
    r = shell.Calls.back().Record;
    EXPECT_TRUE(TipAllZero(r));
    EXPECT_TRUE(r.uFlags & NIF_TIP);
    icon->SetShowHint(true);
    EXPECT_EQ(TipOf(shell.Calls.back().Record), u"Quellora Remote Server");
}

TEST_F(Tray, UnreadablePictureIsSentWithoutIcon) {
    TCoolTrayIcon* icon = Load();
    icon->SetIconList(nullptr);
    TIcon broken;
    broken.LoadFromBytes("not an icon");
    icon->SetIcon(broken);
    EXPECT_EQ(shell.Calls.back().Message, DWORD(NIM_MODIFY));
    EXPECT_EQ(shell.Calls.back().Record.hIcon, nullptr);
    EXPECT_EQ(TipOf(shell.Calls.back().Record), u"Quellora Remote Server");
}

TEST_F(Tray, IconIndexIsClampedToTheListAndZeroWithoutOne) {
    TCoolTrayIcon* icon = Load();
    EXPECT_EQ(icon->IconIndex(), 0);
    icon->SetIconIndex(5);
    EXPECT_EQ(icon->IconIndex(), 0);  // one image: the last is image 0

    auto* list = dynamic_cast<TImageList*>(form.FindComponent("ImageList1"));
    ASSERT_NE(list, nullptr);
    list->AddIcons(StoredIconFile());
    ASSERT_EQ(list->Count(), 2);
    icon->SetIconIndex(7);
    EXPECT_EQ(icon->IconIndex(), 1);
    icon->SetIconIndex(0);
    EXPECT_EQ(icon->IconIndex(), 0);

    icon->SetIconList(nullptr);
    icon->SetIconIndex(3);
    EXPECT_EQ(icon->IconIndex(), 0);
    EXPECT_EQ(shell.Calls.back().Message, DWORD(NIM_MODIFY));
}

TEST_F(Tray, RemovedImageListAndMenuAreForgotten) {
    TCoolTrayIcon* icon = Load();
    delete form.FindComponent("ImageList1");
    EXPECT_EQ(icon->IconList(), nullptr);
    EXPECT_EQ(icon->IconIndex(), 0);
    delete form.FindComponent("Beenden1");
    delete form.FindComponent("PopupMenu1");
    EXPECT_EQ(icon->PopupMenu(), nullptr);
}

TEST_F(Tray, TaskbarCreatedAddsTheIconAgainOnlyWhenVisible) {
    TCoolTrayIcon* icon = Load();
    ASSERT_NE(TaskbarCreatedMessage(), 0u);
    shell.Forget();
    shell.Calls.clear();
    SendMessageW(application.Handle(), TaskbarCreatedMessage(), 0, 0);
    std::vector<TShellCall> adds = shell.Of(NIM_ADD);
    ASSERT_EQ(adds.size(), 1u);
    EXPECT_TRUE(adds[0].Result);
    EXPECT_EQ(TipOf(adds[0].Record), u"Quellora Remote Server");
    EXPECT_NE(adds[0].Record.hIcon, nullptr);

    icon->SetIconVisible(false);
    shell.Calls.clear();
    SendMessageW(application.Handle(), TaskbarCreatedMessage(), 0, 0);
    EXPECT_TRUE(shell.Of(NIM_ADD).empty());
}

TEST_F(Tray, HandlerWindowAnswersShutdownMessagesWithOneAndStays) {
    Load();
    HWND handler = TCoolTrayIcon::HandlerWindow();
    ASSERT_NE(handler, nullptr);
    for (UINT msg : {WM_CLOSE, WM_QUERYENDSESSION, WM_ENDSESSION, WM_QUIT})
        EXPECT_EQ(SendMessageW(handler, msg, 0, 0), 1) << msg;
    EXPECT_TRUE(IsWindow(handler));
}

TEST_F(Tray, MouseCallbacksReachTheEventsOnlyWhenEnabled) {
    TCoolTrayIcon* icon = Load();
    icon->SetPopupMenu(nullptr);  // the menu would wait for the user
    std::vector<TMouseButton> downs;
    icon->OnMouseDown = [&](TComponent*, TMouseButton b, TShiftState s, int, int) {
        downs.push_back(b);
        EXPECT_TRUE(s & (b == TMouseButton::mbRight ? ssRight : ssLeft));
    };
    int clicks = 0;
    icon->OnClick = [&](TComponent*) { ++clicks; };
    HWND handler = TCoolTrayIcon::HandlerWindow();
    SendMessageW(handler, 2048, icon->IconId(), WM_RBUTTONDOWN);
    SendMessageW(handler, 2048, icon->IconId(), WM_LBUTTONDOWN);
    SendMessageW(handler, 2048, icon->IconId(), WM_LBUTTONUP);
    EXPECT_EQ(downs, (std::vector<TMouseButton>{TMouseButton::mbRight, TMouseButton::mbLeft}));
    EXPECT_EQ(clicks, 1);
    icon->Enabled = false;
    SendMessageW(handler, 2048, icon->IconId(), WM_RBUTTONDOWN);
    EXPECT_EQ(downs.size(), 2u);
    // Another identity is not this icon.
    icon->Enabled = true;
    SendMessageW(handler, 2048, icon->IconId() + 100, WM_RBUTTONDOWN);
    EXPECT_EQ(downs.size(), 2u);
}

TEST_F(Tray, DestructionRemovesTheIconAndRestoresTheOwnerProcedure) {
    TCoolTrayIcon* icon = Load();
    HWND owner = CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(owner, nullptr);
    LONG_PTR original = GetWindowLongPtrW(owner, GWLP_WNDPROC);
    icon->AttachOwnerWindow(owner);
    EXPECT_NE(GetWindowLongPtrW(owner, GWLP_WNDPROC), original);
    // Messages still reach the original procedure through the replacement.
    SetWindowTextW(owner, L"changed");
    wchar_t text[16] = {};
    GetWindowTextW(owner, text, 16);
    EXPECT_STREQ(text, L"changed");

    UINT id = icon->IconId();
    shell.Calls.clear();
    delete icon;
    std::vector<TShellCall> deletes = shell.Of(NIM_DELETE);
    ASSERT_EQ(deletes.size(), 1u);
    EXPECT_EQ(deletes[0].Record.uID, id);
    EXPECT_TRUE(deletes[0].Result);
    EXPECT_EQ(GetWindowLongPtrW(owner, GWLP_WNDPROC), original);
    DestroyWindow(owner);
}

TEST_F(Tray, RestoreCommandToTheApplicationWindowShowsTheMainWindow) {
    Load();
    HWND main = CreateWindowExW(0, L"STATIC", L"main", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(main, nullptr);
    application.MainWindow = main;
    EXPECT_FALSE(IsWindowVisible(main));
    SendMessageW(application.Handle(), WM_SYSCOMMAND, SC_RESTORE, 0);
    EXPECT_TRUE(IsWindowVisible(main));
    application.MainWindow = nullptr;
    DestroyWindow(main);
}

TEST_F(Tray, VersionModeSelectsTheRecordedVersion) {
    TCoolTrayIcon* icon = Load();
    icon->SetVersionMode(1);
    EXPECT_EQ(shell.Calls.back().Message, DWORD(NIM_SETVERSION));
    EXPECT_EQ(shell.Calls.back().Record.uVersion, 3u);
    icon->SetVersionMode(0);
    EXPECT_EQ(shell.Calls.back().Record.uVersion, 0u);
}

TEST(TrayMenu, ChosenItemRunsItsHandlerThroughTheMenuWindow) {
    TPopupMenu menu(nullptr);
    TMenuItem* first = new TMenuItem(nullptr);
    TMenuItem* second = new TMenuItem(nullptr);
    std::unique_ptr<TMenuItem> ownFirst(first), ownSecond(second);
    menu.InsertChild(first);
    menu.InsertChild(second);
    std::vector<TComponent*> clicked;
    first->OnClick = [&](TComponent* s) { clicked.push_back(s); };
    second->OnClick = [&](TComponent* s) { clicked.push_back(s); };
    SendMessageW(menu.Window(), WM_COMMAND, second->Command(), 0);
    EXPECT_EQ(clicked, std::vector<TComponent*>{second});
    second->Enabled = false;
    SendMessageW(menu.Window(), WM_COMMAND, second->Command(), 0);
    EXPECT_EQ(clicked.size(), 1u);
    ownSecond.reset();
    EXPECT_EQ(menu.Items().Count(), 1);
}

TEST(TrayTimer, StartsOnlyWithAnIntervalAndTicksThroughTheSharedWindow) {
    int ticks = 0;
    TSimpleTimer timer(0, [&](TSimpleTimer* t) {
        ++ticks;
        t->Stop();
    });
    const int before = TSimpleTimer::RunningCount();
    EXPECT_FALSE(timer.Start());
    EXPECT_FALSE(timer.Running());
    timer.SetInterval(10);
    ASSERT_TRUE(timer.Start());
    EXPECT_TRUE(timer.Running());
    EXPECT_EQ(TSimpleTimer::RunningCount(), before + 1);
    MSG msg;
    for (DWORD end = GetTickCount() + 10000; ticks == 0 && GetTickCount() < end;) {
        if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
        else
            Sleep(1);
    }
    EXPECT_EQ(ticks, 1);
    EXPECT_FALSE(timer.Running());
    EXPECT_EQ(TSimpleTimer::RunningCount(), before);
}
