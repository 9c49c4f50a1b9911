#include "tests/crash/driver/AssistantVerbs.h"

#include <gtest/gtest.h>

#include <chrono>

#include "tests/support/WindowTestKit_win32.h"

namespace crashtest {
namespace {

// The forms' buttons, in their order.
constexpr int kContinue = 100, kSkip = 101, kCancel = 102;
constexpr auto kFormWait = std::chrono::seconds(60);
constexpr const wchar_t* kContactKey = L"Software\\Harnwick\\ContactForm";

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// An edit's text: GetWindowText would not ask a window of another process.
std::wstring WindowText(HWND window) {
    wchar_t text[512] = {};
    SendMessageW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text));
    return text;
}

// A remembered value as the contact form stored it; empty when missing.
std::wstring Remembered(const wchar_t* name) {
    wchar_t text[512] = {};
    DWORD bytes = sizeof text;
    if (RegGetValueW(HKEY_CURRENT_USER, kContactKey, name, RRF_RT_REG_SZ, nullptr, text, &bytes) !=
        ERROR_SUCCESS)
        return {};
    return text;
}

void ForgetContact() { RegDeleteKeyW(HKEY_CURRENT_USER, kContactKey); }

int ButtonId(const std::string& name) {
    if (name == "continue") return kContinue;
    if (name == "skip") return kSkip;
    if (name == "cancel") return kCancel;
    ADD_FAILURE() << "unknown assistant button " << name;
    return 0;
}

}  // namespace

TAssistantDriver::TAssistantDriver() { ForgetContact(); }

TAssistantDriver::~TAssistantDriver() { ForgetContact(); }

bool TAssistantDriver::Step(const std::string& verb, const std::string& rest, DWORD pid) {
    if (verb == "assistant-form") {
        const int id = std::stoi(rest);
        HWND previous = FForm;
        FForm = nullptr;
        // The next form replaces the last one; it is the one with the
        // control asked for.
        EXPECT_TRUE(testkit::WaitFor(
            [&] {
                HWND form = testkit::FindProcessWindow(pid, L"TNVFormWndClass");
                if (!form || form == previous || !GetDlgItem(form, id)) return false;
                FForm = form;
                return true;
            },
            kFormWait))
            << "no assistant form with control " << id;
        return true;
    }
    if (verb == "no-assistant") {
        // Refused presses show nothing: no form within a few seconds, the
        // time a form takes to appear under a loaded Wine.
        EXPECT_FALSE(
            testkit::WaitFor([&] { return testkit::FindProcessWindow(pid, L"TNVFormWndClass") != nullptr; },
                             std::chrono::seconds(3)))
            << "an assistant form appeared";
        return true;
    }
    if (verb == "assistant-type") {
        const size_t blank = rest.find(' ');
        HWND edit = FForm ? GetDlgItem(FForm, std::stoi(rest.substr(0, blank))) : nullptr;
        EXPECT_NE(edit, nullptr) << "no edit " << rest;
        if (!edit) return true;
        SendMessageW(edit, EM_SETSEL, 0, -1);
        // Typed as keys would be, so that the form sees every change.
        for (char c : rest.substr(blank + 1))
            SendMessageW(edit, WM_CHAR, WPARAM(static_cast<unsigned char>(c)), 1);
        return true;
    }
    if (verb == "assistant-click") {
        HWND box = FForm ? GetDlgItem(FForm, std::stoi(rest)) : nullptr;
        EXPECT_NE(box, nullptr) << "no check box " << rest;
        if (box) PostMessageW(box, BM_CLICK, 0, 0);
        return true;
    }
    if (verb == "assistant-text") {
        const size_t blank = rest.find(' ');
        HWND edit = FForm ? GetDlgItem(FForm, std::stoi(rest.substr(0, blank))) : nullptr;
        EXPECT_NE(edit, nullptr) << "no edit " << rest;
        const std::string text = blank == std::string::npos ? "" : rest.substr(blank + 1);
        if (edit) {
            EXPECT_EQ(Narrow(WindowText(edit)), text);
        }
        return true;
    }
    if (verb == "assistant-checked") {
        const size_t blank = rest.find(' ');
        HWND box = FForm ? GetDlgItem(FForm, std::stoi(rest.substr(0, blank))) : nullptr;
        EXPECT_NE(box, nullptr) << "no check box " << rest;
        const LRESULT wanted = rest.substr(blank + 1) == "yes" ? BST_CHECKED : BST_UNCHECKED;
        // A click posted just before takes a turn of the form's loop.
        if (box) {
            EXPECT_TRUE(testkit::WaitFor([&] { return SendMessageW(box, BM_GETCHECK, 0, 0) == wanted; }))
                << rest;
        }
        return true;
    }
    if (verb == "assistant-focus") {
        HWND button = FForm ? GetDlgItem(FForm, ButtonId(rest)) : nullptr;
        EXPECT_NE(button, nullptr) << "no button " << rest;
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        const DWORD thread = GetWindowThreadProcessId(FForm, nullptr);
        EXPECT_TRUE(testkit::WaitFor([&] {
            return button && GetGUIThreadInfo(thread, &info) && info.hwndFocus == button;
        })) << "focus is not on "
            << rest;
        return true;
    }
    if (verb == "dialog-topmost") {
        const bool wanted = rest == "yes";
        EXPECT_TRUE(testkit::WaitFor([&] {
            HWND dialog = testkit::FindProcessWindow(pid, L"TobriskWndClass");
            return dialog && ((GetWindowLongW(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0) == wanted;
        })) << "the crash dialog is "
            << (wanted ? "not " : "") << "topmost";
        return true;
    }
    if (verb == "dialog-active") {
        EXPECT_TRUE(testkit::WaitFor([&] {
            HWND dialog = testkit::FindProcessWindow(pid, L"TobriskWndClass");
            return dialog && GetForegroundWindow() == dialog;
        })) << "the crash dialog is not the active window";
        return true;
    }
    if (verb == "remembered") {
        const std::wstring name = Remembered(L"RememberName"), email = Remembered(L"RememberEmail");
        EXPECT_EQ(name.empty() && email.empty() ? std::string("none") : Narrow(name + L"|" + email), rest);
        return true;
    }
    if (verb == "assistant-press" || verb == "assistant-disabled") {
        HWND button = FForm ? GetDlgItem(FForm, ButtonId(rest)) : nullptr;
        EXPECT_NE(button, nullptr) << "no button " << rest;
        if (!button) return true;
        if (verb == "assistant-disabled") {
            EXPECT_FALSE(IsWindowEnabled(button)) << rest;
            return true;
        }
        EXPECT_TRUE(testkit::WaitFor([&] { return IsWindowEnabled(button) != FALSE; }, kFormWait))
            << rest << " stays disabled";
        PostMessageW(button, BM_CLICK, 0, 0);
        return true;
    }
    return false;
}

}  // namespace crashtest
