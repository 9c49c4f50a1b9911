#include "LargeFormVerbs.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

#include "tests/support/WindowTestKit_win32.h"

namespace crashtest {

namespace {

using namespace std::chrono_literals;

constexpr int kTabsId = 300, kFirstPageId = 400;
constexpr auto kFillWait = 60s;  // a report section under a loaded Wine

std::wstring Widen(const std::string& text) {
    std::wstring wide(MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), wide.data(), int(wide.size()));
    return wide;
}

template <class Check>
bool WaitFor(Check check, std::chrono::milliseconds limit = kFillWait) {
    return testkit::WaitFor(check, limit);
}

std::string Narrow(const std::wstring& text) {
    std::string narrow(
        WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), narrow.data(), int(narrow.size()), nullptr,
                        nullptr);
    return narrow;
}

// Memory in the program's process: the common controls write their
// answers into the caller's address space, which must then be theirs.
class TRemoteMemory {
public:
    TRemoteMemory(HANDLE process, size_t size) : FProcess(process), FSize(size) {
        FAddress = VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    }
    ~TRemoteMemory() {
        if (FAddress) VirtualFreeEx(FProcess, FAddress, 0, MEM_RELEASE);
    }
    TRemoteMemory(const TRemoteMemory&) = delete;
    TRemoteMemory& operator=(const TRemoteMemory&) = delete;
    char* Get() const { return static_cast<char*>(FAddress); }
    bool Write(size_t offset, const void* data, size_t size) {
        SIZE_T done = 0;
        return WriteProcessMemory(FProcess, Get() + offset, data, size, &done) && done == size;
    }
    bool Read(size_t offset, void* data, size_t size) const {
        SIZE_T done = 0;
        return ReadProcessMemory(FProcess, Get() + offset, data, size, &done) && done == size;
    }
    std::wstring ReadText(size_t offset, size_t chars) const {
        std::wstring text(chars, L'\0');
        if (!Read(offset, text.data(), chars * sizeof(wchar_t))) return L"";
        text.resize(wcsnlen(text.c_str(), chars));
        return text;
    }

private:
    HANDLE FProcess;
    size_t FSize;
    void* FAddress;
};

constexpr size_t kTextChars = 512;
constexpr size_t kTextOffset = 256;  // behind the control's structure

class TLargeForm {
public:
    explicit TLargeForm(const TLargeFormTarget& target) : FTarget(target) {}

    // The large form: the crash dialog with a tab control.
    HWND Dialog() const {
        HWND dialog = testkit::FindProcessWindow(FTarget.Pid, L"TobriskWndClass");
        return dialog && GetDlgItem(dialog, kTabsId) ? dialog : nullptr;
    }

    std::vector<std::wstring> Tabs() const {
        std::vector<std::wstring> captions;
        HWND tabs = GetDlgItem(Dialog(), kTabsId);
        if (!tabs) return captions;
        const int count = int(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0));
        TRemoteMemory memory(FTarget.Process, kTextOffset + kTextChars * sizeof(wchar_t));
        for (int i = 0; i < count; ++i) {
            TCITEMW item = {};
            item.mask = TCIF_TEXT;
            item.pszText = reinterpret_cast<wchar_t*>(memory.Get() + kTextOffset);
            item.cchTextMax = kTextChars;
            memory.Write(0, &item, sizeof item);
            wchar_t none = 0;
            memory.Write(kTextOffset, &none, sizeof none);
            SendMessageW(tabs, TCM_GETITEMW, i, reinterpret_cast<LPARAM>(memory.Get()));
            captions.push_back(memory.ReadText(kTextOffset, kTextChars));
        }
        return captions;
    }

    HWND Page(const std::wstring& caption) const {
        std::vector<std::wstring> tabs = Tabs();
        for (size_t i = 0; i < tabs.size(); ++i)
            if (tabs[i] == caption) return GetDlgItem(Dialog(), kFirstPageId + int(i));
        return nullptr;
    }

    std::vector<std::wstring> Columns(HWND list) const {
        std::vector<std::wstring> titles;
        TRemoteMemory memory(FTarget.Process, kTextOffset + kTextChars * sizeof(wchar_t));
        for (int c = 0;; ++c) {
            LVCOLUMNW column = {};
            column.mask = LVCF_TEXT;
            column.pszText = reinterpret_cast<wchar_t*>(memory.Get() + kTextOffset);
            column.cchTextMax = kTextChars;
            memory.Write(0, &column, sizeof column);
            if (!SendMessageW(list, LVM_GETCOLUMNW, c, reinterpret_cast<LPARAM>(memory.Get()))) break;
            titles.push_back(memory.ReadText(kTextOffset, kTextChars));
        }
        return titles;
    }

    // Every cell of a list page, or the text of an edit page.
    std::vector<std::wstring> Cells(HWND page) const {
        std::vector<std::wstring> cells;
        if (!page) return cells;
        wchar_t cls[32] = {};
        GetClassNameW(page, cls, 32);
        if (_wcsicmp(cls, WC_LISTVIEWW) != 0) {
            // GetWindowText would give another process's edit its caption,
            // not its content; WM_GETTEXT is carried across processes.
            std::wstring text(size_t(SendMessageW(page, WM_GETTEXTLENGTH, 0, 0)) + 1, L'\0');
            text.resize(size_t(
                SendMessageW(page, WM_GETTEXT, WPARAM(text.size()), reinterpret_cast<LPARAM>(text.data()))));
            cells.push_back(text);
            return cells;
        }
        const size_t columns = Columns(page).size();
        const int rows = int(SendMessageW(page, LVM_GETITEMCOUNT, 0, 0));
        TRemoteMemory memory(FTarget.Process, kTextOffset + kTextChars * sizeof(wchar_t));
        for (int r = 0; r < rows; ++r)
            for (size_t c = 0; c < columns; ++c) {
                LVITEMW item = {};
                item.iSubItem = int(c);
                item.pszText = reinterpret_cast<wchar_t*>(memory.Get() + kTextOffset);
                item.cchTextMax = kTextChars;
                memory.Write(0, &item, sizeof item);
                const LRESULT length =
                    SendMessageW(page, LVM_GETITEMTEXTW, r, reinterpret_cast<LPARAM>(memory.Get()));
                cells.push_back(memory.ReadText(kTextOffset, size_t(length)));
            }
        return cells;
    }

    bool HasCell(const std::wstring& tab, const std::wstring& text) const {
        for (const std::wstring& cell : Cells(Page(tab)))
            if (cell.find(text) != std::wstring::npos) return true;
        return false;
    }

private:
    const TLargeFormTarget& FTarget;
};

std::wstring Joined(const std::vector<std::wstring>& parts) {
    std::wstring joined;
    for (const std::wstring& p : parts) joined += (joined.empty() ? L"" : L"|") + p;
    return joined;
}

// "TAB=VALUE"
std::pair<std::wstring, std::wstring> TabAndValue(const std::string& rest) {
    std::wstring wide = Widen(rest);
    size_t eq = wide.find(L'=');
    return {wide.substr(0, eq), eq == std::wstring::npos ? L"" : wide.substr(eq + 1)};
}

}  // namespace

bool IsLargeFormVerb(const std::string& verb) {
    for (const char* known : {"tabs", "columns", "cell", "no-cell", "copy-report", "clipboard", "please-wait",
                              "no-please-wait", "touch"})
        if (verb == known) return true;
    return false;
}

void RunLargeFormVerb(const TLargeFormTarget& target, const std::string& verb, const std::string& rest) {
    TLargeForm form(target);
    if (verb == "tabs") {
        ASSERT_TRUE(WaitFor([&] { return form.Dialog() != nullptr; })) << "no large form";
        const std::wstring expected = Widen(rest);
        EXPECT_TRUE(WaitFor([&] { return Joined(form.Tabs()) == expected; }))
            << "tabs: " << Narrow(Joined(form.Tabs()));
    } else if (verb == "columns") {
        auto [tab, columns] = TabAndValue(rest);
        HWND page = form.Page(tab);
        ASSERT_TRUE(page) << "no tab " << Narrow(tab);
        EXPECT_EQ(Narrow(Joined(form.Columns(page))), Narrow(columns));
    } else if (verb == "cell" || verb == "no-cell") {
        auto [tab, text] = TabAndValue(rest);
        const bool wanted = verb == "cell";
        EXPECT_TRUE(WaitFor([&, &tab = tab, &text = text] { return form.HasCell(tab, text) == wanted; }))
            << Narrow(tab) << ": " << Narrow(Joined(form.Cells(form.Page(tab)))).substr(0, 2000);
    } else if (verb == "copy-report") {
        HWND dialog = form.Dialog();
        ASSERT_TRUE(dialog);
        PostMessageW(dialog, WM_CHAR, 3, 0x002E0001);
    } else if (verb == "clipboard") {
        std::regex re(rest);
        auto matches = [&] {
            std::istringstream lines(Narrow(testkit::ClipboardText()));
            for (std::string line; std::getline(lines, line);) {
                if (!line.empty() && line.back() == '\r') line.pop_back();
                if (std::regex_search(line, re)) return true;
            }
            return false;
        };
        EXPECT_TRUE(WaitFor(matches)) << "clipboard: " << Narrow(testkit::ClipboardText()).substr(0, 2000);
    } else if (verb == "please-wait") {
        HWND alert = nullptr;
        ASSERT_TRUE(WaitFor([&] {
            return (alert = testkit::FindProcessWindow(target.Pid, L"prgrAlertWndClass")) != nullptr;
        })) << "no please-wait window";
        EXPECT_TRUE(GetWindowLongW(alert, GWL_EXSTYLE) & WS_EX_TOPMOST);
        HWND dialog = testkit::FindProcessWindow(target.Pid, L"TobriskWndClass");
        if (rest == "over-dialog") {
            EXPECT_TRUE(dialog) << "the crash dialog is gone under the please-wait window";
        }
        if (dialog) {
            EXPECT_FALSE(IsWindowEnabled(dialog)) << "the dialog stays usable under the please-wait window";
            EXPECT_EQ(GetWindow(alert, GW_OWNER), dialog);
        }
    } else if (verb == "no-please-wait") {
        EXPECT_TRUE(
            WaitFor([&] { return testkit::FindProcessWindow(target.Pid, L"prgrAlertWndClass") == nullptr; }));
        if (HWND dialog = testkit::FindProcessWindow(target.Pid, L"TobriskWndClass")) {
            EXPECT_TRUE(WaitFor([&] { return IsWindowEnabled(dialog) != FALSE; }, 10s))
                << "the dialog stays disabled";
        }
    } else if (verb == "touch") {
        std::ofstream(target.Folder / rest) << "go";
    }
}

}  // namespace crashtest
