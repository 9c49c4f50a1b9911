#include "tests/crash/driver/AssistantVerbs.h"

#include <gtest/gtest.h>

#include <chrono>

#include "tests/support/WindowTestKit_win32.h"

namespace crashtest {
namespace {

// The forms' buttons, in their order.
constexpr int kContinue = 100, kSkip = 101, kCancel = 102;
constexpr auto kFormWait = std::chrono::seconds(60);

int ButtonId(const std::string& name) {
    if (name == "continue") return kContinue;
    if (name == "skip") return kSkip;
    if (name == "cancel") return kCancel;
    ADD_FAILURE() << "unknown assistant button " << name;
    return 0;
}

}  // namespace

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
