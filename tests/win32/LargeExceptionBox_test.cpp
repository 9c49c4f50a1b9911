// The large crash dialog on a real window station: its tabs and pages from
// the report, rebuilt when another thread reports a change, its minimum
// size, the right button column following a resize, Ctrl+C copying the
// complete report.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "crashreport/ui/ExceptionBox_win32.h"
#include "tests/support/WindowTestKit_win32.h"

using namespace qr;

namespace {

using testkit::ClipboardText;
using testkit::WaitFor;

constexpr int kContinue = 104, kTabs = 300, kFirstPage = 400;

TBoxContent LargeContent() {
    TBoxContent content;
    content.Title = u"LargeForm.exe";
    content.Text = u"An error occurred in the application.";
    const char16_t* captions[] = {u"send bug report",  u"save bug report",      u"print bug report",
                                  u"show bug report",  u"continue application", u"restart application",
                                  u"close application"};
    const bool visible[] = {true, false, false, false, true, true, true};
    for (int i = 0; i < kBoxButtonCount; ++i) {
        content.Captions[i] = captions[i];
        content.Visible[i] = visible[i];
    }
    content.Large = true;
    content.FirstOpening = false;
    return content;
}

// The report as the test changes it, read by the dialog's thread.
struct TFakeReport {
    std::mutex Lock;
    std::vector<TReportTab> Tabs;
    std::function<void()> Changed;
    void Set(std::vector<TReportTab> tabs) {
        std::function<void()> changed;
        {
            std::lock_guard guard(Lock);
            Tabs = std::move(tabs);
            changed = Changed;
        }
        if (changed) changed();  // from this thread, as the completion thread would
    }
};

TReportTab Tab(const char* caption, std::vector<AnsiString> columns,
               std::vector<std::vector<AnsiString>> rows, AnsiString text = {}) {
    return {caption, std::move(columns), std::move(rows), std::move(text)};
}

int TabCount(HWND dialog) { return int(SendMessageW(GetDlgItem(dialog, kTabs), TCM_GETITEMCOUNT, 0, 0)); }

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

RECT ClientRectOf(HWND child) {
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

}  // namespace

TEST(LargeExceptionBoxWindows, TabsFollowTheReportAndTheButtonsFollowTheRightEdge) {
    TFakeReport report;
    report.Tabs = {Tab("general", {"description", "value"}, {{"date/time", "today"}, {"user name", "ann"}}),
                   Tab("call stack", {}, {}, ">> will be calculated soon")};
    std::atomic<DWORD> threadId{0};
    std::atomic<bool> ended{false};
    std::atomic<int> result{-1};
    std::thread run([&] {
        threadId = GetCurrentThreadId();
        TExceptionBox box(LargeContent(), nullptr, nullptr);
        TBoxReport source;
        source.Tabs = [&] {
            std::lock_guard guard(report.Lock);
            return report.Tabs;
        };
        source.CompleteText = [](HWND) { return UString(u"the complete report"); };
        source.Watch = [&](std::function<void()> changed) {
            std::lock_guard guard(report.Lock);
            report.Changed = std::move(changed);
        };
        box.SetReport(std::move(source));
        result = int(box.Run());
        ended = true;
    });
    struct TJoin {
        std::thread& Run;
        std::atomic<bool>& Ended;
        std::atomic<DWORD>& Thread;
        ~TJoin() {
            while (!Ended) {
                HWND open = FindWindowW(L"TobriskWndClass", nullptr);
                if (open && GetWindowThreadProcessId(open, nullptr) == Thread)
                    PostMessageW(open, WM_KEYDOWN, VK_ESCAPE, 0);
                Sleep(50);
            }
            Run.join();
        }
    } join{run, ended, threadId};

    HWND dialog = nullptr;
    ASSERT_TRUE(WaitFor([&] {
        dialog = FindWindowW(L"TobriskWndClass", nullptr);
        // Shown only once it is built.
        return dialog && GetWindowThreadProcessId(dialog, nullptr) == threadId && GetDlgItem(dialog, kTabs) &&
               IsWindowVisible(dialog);
    }));
    EXPECT_TRUE(GetWindowLongW(dialog, GWL_STYLE) & WS_THICKFRAME);
    RECT client;
    GetClientRect(dialog, &client);
    EXPECT_GE(client.right, 664);
    ASSERT_EQ(TabCount(dialog), 2);
    HWND general = GetDlgItem(dialog, kFirstPage), stack = GetDlgItem(dialog, kFirstPage + 1);
    EXPECT_EQ(ClassOf(general), WC_LISTVIEWW);
    EXPECT_EQ(SendMessageW(general, LVM_GETITEMCOUNT, 0, 0), 2);
    EXPECT_TRUE(IsWindowVisible(general));
    EXPECT_EQ(ClassOf(stack), L"Edit");
    EXPECT_FALSE(IsWindowVisible(stack)) << "only the current tab's page shows";
    EXPECT_GT(ClientRectOf(general).top, ClientRectOf(GetDlgItem(dialog, kTabs)).top);

    // The minimum is the size it started with; growing moves the column.
    RECT frame;
    GetWindowRect(dialog, &frame);
    MINMAXINFO limits = {};
    SendMessageW(dialog, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
    EXPECT_EQ(limits.ptMinTrackSize.x, frame.right - frame.left);
    EXPECT_EQ(limits.ptMinTrackSize.y, frame.bottom - frame.top);
    const RECT before = ClientRectOf(GetDlgItem(dialog, kContinue));
    const RECT tabsBefore = ClientRectOf(GetDlgItem(dialog, kTabs));
    SetWindowPos(dialog, nullptr, 0, 0, frame.right - frame.left + 100, frame.bottom - frame.top + 40,
                 SWP_NOMOVE | SWP_NOZORDER);
    const RECT after = ClientRectOf(GetDlgItem(dialog, kContinue));
    EXPECT_EQ(after.left, before.left + 100);
    EXPECT_EQ(after.top, before.top);
    const RECT tabsAfter = ClientRectOf(GetDlgItem(dialog, kTabs));
    EXPECT_EQ(tabsAfter.right - tabsAfter.left, tabsBefore.right - tabsBefore.left + 100);
    EXPECT_EQ(tabsAfter.bottom - tabsAfter.top, tabsBefore.bottom - tabsBefore.top + 40);

    // Another thread reports a change: the tabs and the changed page are rebuilt.
    report.Set({Tab("general", {"description", "value"}, {{"date/time", "today"}, {"user name", "ann"}}),
                Tab("call stacks", {"address", "function"}, {{">> main thread", ""}, {"0040100a", "Run"}}),
                Tab("modules", {"handle", "file name"}, {{"00400000", "LargeForm.exe"}})});
    ASSERT_TRUE(WaitFor([&] { return TabCount(dialog) == 3; }));
    EXPECT_EQ(ClassOf(GetDlgItem(dialog, kFirstPage + 1)), WC_LISTVIEWW);
    EXPECT_EQ(SendMessageW(GetDlgItem(dialog, kFirstPage + 2), LVM_GETITEMCOUNT, 0, 0), 1);

    PostMessageW(dialog, WM_CHAR, 3, 0);
    EXPECT_TRUE(WaitFor([] { return ClipboardText() == L"the complete report"; }));
    PostMessageW(dialog, WM_KEYDOWN, VK_ESCAPE, 0);
    ASSERT_TRUE(WaitFor([&] { return ended.load(); }));
    EXPECT_EQ(result, int(TBoxButton::Continue));
}

// The small form registers the report-changed callback too (it has nothing
// to redraw) and ends it with the dialog.
TEST(LargeExceptionBoxWindows, TheSmallFormWatchesTheReportToo) {
    TBoxContent content = LargeContent();
    content.Large = false;
    std::atomic<int> registered{0}, ended{0};
    std::atomic<DWORD> threadId{0};
    std::atomic<bool> done{false};
    std::thread run([&] {
        threadId = GetCurrentThreadId();
        TExceptionBox box(content, nullptr, nullptr);
        TBoxReport source;
        source.Tabs = [] { return std::vector<TReportTab>{}; };
        source.Watch = [&](std::function<void()> changed) { ++(changed ? registered : ended); };
        box.SetReport(std::move(source));
        box.Run();
        done = true;
    });
    HWND dialog = nullptr;
    EXPECT_TRUE(WaitFor([&] {
        dialog = FindWindowW(L"TobriskWndClass", nullptr);
        return dialog && GetWindowThreadProcessId(dialog, nullptr) == threadId && IsWindowVisible(dialog);
    }));
    // The callback is registered once the window shows.
    EXPECT_TRUE(WaitFor([&] { return registered == 1; })) << "no report-changed callback for the small form";
    EXPECT_FALSE(GetDlgItem(dialog, kTabs));
    while (!done) {
        PostMessageW(dialog, WM_KEYDOWN, VK_ESCAPE, 0);
        Sleep(50);
    }
    run.join();
    EXPECT_EQ(ended, 1);
}
