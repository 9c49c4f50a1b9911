// The please-wait window on a real window station: its owner is disabled
// exactly while it is shown, its bar follows the areas from this thread and
// from others, and it stands where its activation says.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <thread>

#include "crashreport/ui/ProgressAlert_win32.h"

using namespace qr;

namespace {

// A plain top-level window to own the alert.
class TOwnerWindow {
public:
    TOwnerWindow() {
        FWindow = CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 200, 100,
                                  nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    }
    ~TOwnerWindow() {
        if (IsWindow(FWindow)) DestroyWindow(FWindow);
    }
    HWND Get() const { return FWindow; }

private:
    HWND FWindow;
};

HWND Bar(HWND alert) { return FindWindowExW(alert, nullptr, PROGRESS_CLASSW, nullptr); }

int BarPosition(HWND alert) { return int(SendMessageW(Bar(alert), PBM_GETPOS, 0, 0)); }

// Lets the alert take its posted messages until the bar shows `expected`;
// bounded so that a lost post fails instead of hanging.
bool BarReaches(TIProgressAlert& alert, int expected) {
    for (int i = 0; i < 250; ++i) {
        alert.ProcessMessages();
        if (BarPosition(alert.Handle()) == expected) return true;
        Sleep(20);
    }
    return false;
}

}  // namespace

TEST(ProgressAlertWindows, OwnerIsDisabledWhileShownAndTheBarFollowsTheAreas) {
    TOwnerWindow owner;
    ASSERT_TRUE(owner.Get());
    TIProgressAlert alert(u"Information", L"MEIPLWAIT");
    alert.AddArea(u"Please wait a moment...", 100);
    alert.AddArea(u"Second part", 300);
    ASSERT_TRUE(alert.Show(owner.Get(), true));
    EXPECT_FALSE(alert.Show(owner.Get(), true)) << "shown twice";
    HWND window = alert.Handle();
    ASSERT_EQ(FindWindowW(L"prgrAlertWndClass", nullptr), window);
    EXPECT_FALSE(IsWindowEnabled(owner.Get()));
    EXPECT_EQ(GetWindow(window, GW_OWNER), owner.Get());
    const LONG exStyle = GetWindowLongW(window, GWL_EXSTYLE);
    EXPECT_TRUE(exStyle & WS_EX_TOPMOST);
    EXPECT_TRUE(exStyle & WS_EX_TOOLWINDOW);
    EXPECT_EQ(GetMenuState(GetSystemMenu(window, FALSE), SC_SIZE, MF_BYCOMMAND), UINT(-1));
    wchar_t title[64] = {};
    GetWindowTextW(window, title, 64);
    EXPECT_STREQ(title, L"Information");
    // Centred on the screen.
    RECT r;
    GetWindowRect(window, &r);
    EXPECT_NEAR((r.left + r.right) / 2, GetSystemMetrics(SM_CXSCREEN) / 2, 1);
    EXPECT_NEAR((r.top + r.bottom) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 1);

    ASSERT_TRUE(Bar(window));
    EXPECT_EQ(SendMessageW(Bar(window), PBM_GETRANGE, FALSE, 0), 1000);
    alert.SetPosition(500);  // this thread: shown at once
    EXPECT_EQ(BarPosition(window), 125);
    // Another thread only posts; the position shows once the window's
    // thread takes its messages.
    std::thread other([&] {
        alert.AreaDone();
        alert.SetPosition(500);
    });
    other.join();
    EXPECT_TRUE(BarReaches(alert, 625));  // (100 + 300 * 500 / 1000) * 1000 / 400

    alert.Close();
    EXPECT_FALSE(IsWindow(window));
    EXPECT_TRUE(IsWindowEnabled(owner.Get()));
    // A closed alert shows again.
    ASSERT_TRUE(alert.Show(owner.Get(), true));
    EXPECT_FALSE(IsWindowEnabled(owner.Get()));
    alert.Close();
    EXPECT_TRUE(IsWindowEnabled(owner.Get()));
}

TEST(ProgressAlertWindows, WithoutActivationItSitsBottomRightAndADestroyedWindowFreesTheOwner) {
    TOwnerWindow owner;
    TIProgressAlert alert(u"Information", L"MEISEND32");
    ASSERT_TRUE(alert.Show(owner.Get(), false));
    HWND window = alert.Handle();
    RECT work, r;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    GetWindowRect(window, &r);
    EXPECT_EQ(r.right, work.right - 2);
    EXPECT_EQ(r.bottom, work.bottom - 2);
    EXPECT_NE(GetForegroundWindow(), window);
    // Nothing added: the default area fills the whole bar.
    alert.SetPosition(300);
    EXPECT_EQ(BarPosition(window), 300);
    // The close command of the title bar does not end it.
    SendMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(IsWindow(window));
    // Destroyed from elsewhere: the owner never stays disabled.
    EXPECT_FALSE(IsWindowEnabled(owner.Get()));
    DestroyWindow(window);
    EXPECT_TRUE(IsWindowEnabled(owner.Get()));
    EXPECT_FALSE(alert.Visible());
    alert.Close();  // nothing left to do
}
