// The crash dialog and the plain boxes as the crash-test driver sees them:
// the dialog runs on its own thread, the test finds it by its class and
// reads and presses its buttons from outside.
#include <windows.h>
#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "crashreport/ui/ExceptionBox_win32.h"
#include "tests/support/WindowTestKit_win32.h"

using namespace qr;

namespace {

using testkit::ClipboardText;
using testkit::WaitFor;

constexpr int kSend = 100, kShow = 103, kContinue = 104, kRestart = 105, kClose = 106;

TBoxContent FullSpec(bool canContinue) {
    TBoxContent content;
    content.Title = u"quellora-remote.exe";
    content.Text = u"An error occurred in the application.";
    content.ExceptionMessage = u"Access violation at address 00401234 in module 'quellora-remote.exe'.";
    const char16_t* captions[] = {u"send bug report",  u"save bug report",      u"print bug report",
                                  u"show bug report",  u"continue application", u"restart application",
                                  u"close application"};
    const bool visible[] = {true, false, false, true, true, true, true};
    for (int i = 0; i < kBoxButtonCount; ++i) {
        content.Captions[i] = captions[i];
        content.Visible[i] = visible[i];
    }
    content.CanContinue = canContinue;
    content.FirstOpening = false;  // no sound in the test run
    return content;
}

TBoxContent PlainSpec(bool withDetails) {
    TBoxContent content = FullSpec(true);
    content.PlainBox = true;
    content.WithDetails = withDetails;
    content.Title = u"quellora-remote";
    content.Text = PlainBoxText(u"Field 'Name' must have a value. Enter a value and try again.");
    for (bool& v : content.Visible) v = false;
    content.Visible[int(TBoxButton::Continue)] = true;
    content.Visible[int(TBoxButton::Show)] = withDetails;
    content.OkCaption = u"&OK";
    content.DetailsCaption = u"&Details";
    return content;
}

// Polls until the condition holds; gives up after `limit` milliseconds so
// that a broken dialog fails the test instead of hanging it. Under Wine
// without a window manager, destroying a shown window alone takes about two
// seconds (Wine waits for the manager to withdraw it), hence the margin.
struct TButtonInfo {
    HWND Window;
    int Id;
    std::wstring Text, Class;
    bool Enabled;
    RECT Rect;  // in the dialog's client coordinates
    LONG Style;
};

LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP) {
        auto* count = reinterpret_cast<std::atomic<int>*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        ++*count;
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// Runs one dialog on a thread of its own, as the crash reporter's handler
// thread does. Beside it, on the same thread, stands a hidden window of
// another class whose posted messages the dialog's loop must still deliver.
class TDialogThread {
public:
    explicit TDialogThread(TBoxContent content) {
        FThread = std::thread([this, content] {
            FThreadId = GetCurrentThreadId();
            WNDCLASSW other = {};
            other.lpfnWndProc = CountingProc;
            other.hInstance = GetModuleHandleW(nullptr);
            other.lpszClassName = L"ExceptionBoxTestOther";
            RegisterClassW(&other);
            FOther = CreateWindowExW(0, L"ExceptionBoxTestOther", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                     GetModuleHandleW(nullptr), nullptr);
            SetWindowLongPtrW(FOther, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&OtherMessages));
            TExceptionBox box(
                content,
                [this](TBoxButton button, HWND owner) {
                    Actions.push_back(button);
                    Owners.push_back(owner);
                    OwnersShown.push_back(IsWindowVisible(owner) != FALSE);
                },
                nullptr);
            try {
                FResult = box.Run();
            } catch (const Exception& e) {
                FError = e.Message();
            }
            DestroyWindow(FOther);
            FEnded = true;
        });
        // Shown once its buttons are made and set: a test that looked at a
        // window still being built would see buttons missing or enabled.
        WaitFor([this] { return Dialog() != nullptr && IsWindowVisible(Dialog()); });
    }
    ~TDialogThread() {
        // A failed test leaves the dialog open: escape always closes it.
        if (!FEnded && Dialog()) PostMessageW(Dialog(), WM_KEYDOWN, VK_ESCAPE, 0);
        FThread.join();
    }

    // The dialog of this thread, found as the driver finds it.
    HWND Dialog() const {
        HWND found = FindWindowW(L"TobriskWndClass", nullptr);
        DWORD thread = found ? GetWindowThreadProcessId(found, nullptr) : 0;
        return thread && thread == FThreadId ? found : nullptr;
    }
    std::vector<TButtonInfo> Buttons() const {
        std::vector<TButtonInfo> result;
        HWND dialog = Dialog();
        for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            TButtonInfo info{child, GetDlgCtrlID(child), {}, {}, IsWindowEnabled(child) != FALSE, {}, 0};
            wchar_t text[100] = {};
            GetWindowTextW(child, text, 100);
            info.Text = text;
            GetClassNameW(child, text, 100);
            info.Class = text;
            GetWindowRect(child, &info.Rect);
            MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&info.Rect), 2);
            info.Style = GetWindowLongW(child, GWL_STYLE);
            result.push_back(info);
        }
        return result;
    }
    HWND Button(int id) const { return GetDlgItem(Dialog(), id); }
    HWND Focus() const {
        GUITHREADINFO info = {};
        info.cbSize = sizeof info;
        return GetGUIThreadInfo(FThreadId, &info) ? info.hwndFocus : nullptr;
    }
    // Waits for Run() to return and gives its result.
    std::optional<TBoxButton> Result() {
        if (!WaitFor([this] { return FEnded.load(); }, std::chrono::seconds(15))) return std::nullopt;
        EXPECT_EQ(FError, "");
        return FResult;
    }
    bool Ended() const { return FEnded; }
    HWND Other() const { return FOther; }

    std::vector<TBoxButton> Actions;  // written on the dialog thread, read after a SendMessage returned
    std::vector<HWND> Owners;
    std::vector<bool> OwnersShown;  // the owner still stood when the action ran
    std::atomic<int> OtherMessages{0};

private:
    std::thread FThread;
    std::atomic<DWORD> FThreadId{0};
    std::atomic<HWND> FOther{nullptr};
    std::atomic<bool> FEnded{false};
    TBoxButton FResult = TBoxButton::Send;
    std::string FError;
};

}  // namespace

TEST(ExceptionBoxWindows, SmallFormShowsFiveButtonsInTheirPlaces) {
    TDialogThread run(FullSpec(true));
    HWND dialog = run.Dialog();
    ASSERT_NE(dialog, nullptr);
    wchar_t title[100] = {};
    GetWindowTextW(dialog, title, 100);
    EXPECT_STREQ(title, L"quellora-remote.exe");
    EXPECT_TRUE(GetWindowLongW(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_FALSE(GetWindowLongW(dialog, GWL_STYLE) & WS_THICKFRAME);
    HMENU menu = GetSystemMenu(dialog, FALSE);
    for (UINT command : {SC_SIZE, SC_MINIMIZE, SC_MAXIMIZE, SC_RESTORE})
        EXPECT_EQ(GetMenuState(menu, command, MF_BYCOMMAND), UINT(-1)) << command;

    const std::vector<TButtonInfo> buttons = run.Buttons();
    ASSERT_EQ(buttons.size(), 5u);
    const std::pair<int, const wchar_t*> expected[] = {{kSend, L"send bug report"},
                                                       {kShow, L"show bug report"},
                                                       {kContinue, L"continue application"},
                                                       {kRestart, L"restart application"},
                                                       {kClose, L"close application"}};
    RECT client;
    GetClientRect(dialog, &client);
    std::vector<RECT> rects;
    for (auto [id, text] : expected) {
        auto b = std::find_if(buttons.begin(), buttons.end(), [id = id](auto& i) { return i.Id == id; });
        ASSERT_NE(b, buttons.end()) << id;
        EXPECT_EQ(b->Text, text);
        EXPECT_EQ(b->Class, L"Button");
        EXPECT_EQ(b->Style & BS_TYPEMASK, BS_OWNERDRAW);
        EXPECT_TRUE(b->Enabled) << id;
        EXPECT_EQ(b->Rect.bottom - b->Rect.top, 22);
        rects.push_back(b->Rect);
    }
    const RECT &send = rects[0], &show = rects[1], &cont = rects[2], &restart = rects[3], &close = rects[4];
    for (const RECT* r : {&cont, &restart, &close}) {
        EXPECT_EQ(r->right, client.right - 8);
        EXPECT_EQ(r->left, cont.left);
    }
    EXPECT_EQ(restart.top, cont.bottom + 4);
    EXPECT_EQ(close.top, restart.bottom + 4);
    EXPECT_EQ(send.left, 6);
    EXPECT_EQ(show.left, send.right + 4);
    EXPECT_EQ(send.top, close.top);
    EXPECT_EQ(show.top, close.top);
    EXPECT_EQ(client.bottom, close.bottom + 8);
    // Centred on the screen.
    RECT frame;
    GetWindowRect(dialog, &frame);
    EXPECT_LE(std::abs(frame.left + frame.right - GetSystemMetrics(SM_CXSCREEN)), 1);

    EXPECT_EQ(run.Focus(), run.Button(kSend));
    SendMessageW(dialog, WM_KEYDOWN, VK_ESCAPE, 0);  // not posted: no key of the dialog's loop
    EXPECT_FALSE(run.Ended());
}

TEST(ExceptionBoxWindows, SendKeepsTheDialogAndContinueEndsIt) {
    TDialogThread run(FullSpec(true));
    HWND dialog = run.Dialog();
    ASSERT_NE(dialog, nullptr);
    // The title bar's close, the window menu's and Alt+F4 do nothing.
    SendMessageW(dialog, WM_CLOSE, 0, 0);
    SendMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(IsWindow(dialog));

    SendMessageW(run.Button(kSend), BM_CLICK, 0, 0);
    ASSERT_EQ(run.Actions.size(), 1u);
    EXPECT_EQ(run.Actions[0], TBoxButton::Send);
    EXPECT_EQ(run.Owners[0], dialog);
    EXPECT_TRUE(IsWindow(dialog));

    // Messages to the thread's other windows go on while the dialog waits.
    PostMessageW(run.Other(), WM_APP, 0, 0);
    EXPECT_TRUE(WaitFor([&] { return run.OtherMessages == 1; }));

    // Ctrl+C as the keyboard translates it copies the exception message.
    PostMessageW(run.Button(kSend), WM_CHAR, 3, 0);
    std::wstring copied;
    EXPECT_TRUE(WaitFor([&] {
        copied = ClipboardText();
        return copied == L"Access violation at address 00401234 in module 'quellora-remote.exe'.";
    })) << copied.size()
        << " characters";

    SendMessageW(run.Button(kContinue), BM_CLICK, 0, 0);
    EXPECT_EQ(run.Result(), TBoxButton::Continue);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(run.Actions.size(), 1u);
}

TEST(ExceptionBoxWindows, CannotContinueDisablesContinueAndEscapeCloses) {
    TDialogThread run(FullSpec(false));
    ASSERT_NE(run.Dialog(), nullptr);
    HWND cont = run.Button(kContinue);
    ASSERT_NE(cont, nullptr);
    EXPECT_FALSE(IsWindowEnabled(cont));
    EXPECT_TRUE(IsWindowEnabled(run.Button(kClose)));
    // A press of the disabled button from outside changes nothing.
    SendMessageW(run.Dialog(), WM_COMMAND, MAKEWPARAM(kContinue, BN_CLICKED), LPARAM(cont));
    EXPECT_TRUE(IsWindow(run.Dialog()));
    HWND dialog = run.Dialog();
    PostMessageW(run.Focus(), WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_EQ(run.Result(), TBoxButton::Close);
    // Closing is an action of its own, run while the dialog still stands.
    ASSERT_EQ(run.Actions.size(), 1u);
    EXPECT_EQ(run.Actions[0], TBoxButton::Close);
    EXPECT_EQ(run.Owners[0], dialog);
    EXPECT_TRUE(run.OwnersShown[0]);
}

TEST(ExceptionBoxWindows, ShowAndRestartEndTheDialogWithTheirButtons) {
    {
        TDialogThread run(FullSpec(true));
        ASSERT_NE(run.Dialog(), nullptr);
        PostMessageW(run.Dialog(), WM_COMMAND, MAKEWPARAM(kShow, BN_CLICKED), LPARAM(run.Button(kShow)));
        EXPECT_EQ(run.Result(), TBoxButton::Show);
        EXPECT_TRUE(run.Actions.empty()) << "showing the report is no action";
    }
    {
        TDialogThread run(FullSpec(true));
        ASSERT_NE(run.Dialog(), nullptr);
        // Tab walks the buttons in their order (send, show, continue,
        // restart); Enter presses the focused one.
        ASSERT_TRUE(WaitFor([&] { return run.Focus() == run.Button(kSend); }))
            << "focus " << run.Focus() << " foreground " << GetForegroundWindow() << " dialog "
            << run.Dialog();
        for (int id : {kShow, kContinue, kRestart}) {
            PostMessageW(run.Focus(), WM_KEYDOWN, VK_TAB, 0);
            EXPECT_TRUE(WaitFor([&] { return run.Focus() == run.Button(id); })) << id;
        }
        PostMessageW(run.Focus(), WM_KEYDOWN, VK_RETURN, 0);
        EXPECT_EQ(run.Result(), TBoxButton::Restart);
        ASSERT_EQ(run.Actions.size(), 1u);
        EXPECT_EQ(run.Actions[0], TBoxButton::Restart);
        EXPECT_TRUE(run.OwnersShown[0]);
    }
}

TEST(ExceptionBoxWindows, PlainBoxWithDetails) {
    TDialogThread run(PlainSpec(true));
    HWND dialog = run.Dialog();
    ASSERT_NE(dialog, nullptr);
    wchar_t title[100] = {};
    GetWindowTextW(dialog, title, 100);
    EXPECT_STREQ(title, L"quellora-remote");
    const std::vector<TButtonInfo> buttons = run.Buttons();
    ASSERT_EQ(buttons.size(), 2u);
    HWND ok = run.Button(kContinue), details = run.Button(kShow);
    ASSERT_TRUE(ok && details);
    wchar_t text[20] = {};
    GetWindowTextW(ok, text, 20);
    EXPECT_STREQ(text, L"&OK");
    GetWindowTextW(details, text, 20);
    EXPECT_STREQ(text, L"&Details");
    EXPECT_EQ(GetWindowLongW(ok, GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
    EXPECT_EQ(GetWindowLongW(details, GWL_STYLE) & BS_TYPEMASK, BS_PUSHBUTTON);
    RECT okRect, detailsRect, client;
    GetWindowRect(ok, &okRect);
    GetWindowRect(details, &detailsRect);
    GetClientRect(dialog, &client);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&okRect), 2);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&detailsRect), 2);
    EXPECT_EQ(okRect.bottom - okRect.top, 23);
    EXPECT_GE(okRect.right - okRect.left, 79);
    EXPECT_EQ(okRect.top, detailsRect.top);
    EXPECT_LE(std::abs(okRect.left - (client.right - detailsRect.right)), 1);
    EXPECT_EQ(run.Focus(), ok);

    SendMessageW(details, BM_CLICK, 0, 0);
    EXPECT_EQ(run.Result(), TBoxButton::Show);
}

TEST(ExceptionBoxWindows, PlainBoxOkOnlyAnswersEnterAsContinue) {
    TDialogThread run(PlainSpec(false));
    ASSERT_NE(run.Dialog(), nullptr);
    ASSERT_EQ(run.Buttons().size(), 1u);
    HWND ok = run.Button(kContinue);
    EXPECT_EQ(run.Focus(), ok);
    PostMessageW(ok, WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_EQ(run.Result(), TBoxButton::Continue);
}
