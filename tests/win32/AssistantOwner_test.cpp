// The assistant and its owner window: a click on a label is an item event,
// and once the assistant is cancelled or finished its owner (the crash
// dialog) is the active window again, so that its keys work at once.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "crashreport/ui/AssistantForm.h"
#include "crashreport/ui/Assistant_win32.h"
#include "tests/support/StoredForms.h"
#include "tests/support/WindowTestKit_win32.h"
#include "tests/win32/AssistantThread.h"

using namespace qr;

namespace {

using testkit::WaitFor;

constexpr int kContinue = 100, kCancel = 102;
// The contact form's own items: NameLabel, NameEdit, EmailLabel, EmailEdit, MemCheck.
constexpr int kNameLabel = 200, kEmailEdit = 203;

// The contact form alone, owned by a visible window of the assistant's
// thread; records the item events and who is active at the end.
class TOwnedRun {
public:
    TOwnedRun()
        : FThread([this] {
              FOwner = CreateOwnerWindow();
              SetForegroundWindow(FOwner);
              std::vector<std::unique_ptr<TNVForm>> forms;
              forms.push_back(ReadAssistantForm(*StoredFormDescription(u"TMECONTACTFORM")));
              TNVAssistant assistant(u"Send Assistant", std::move(forms));
              Completed = assistant.ShowModal(FOwner, [this](const UString&) -> TNVActionHandler {
                  return [this](TNVFormWindow&, TNVAction action, TNVItem* item) {
                      if (action != nvaItemEvent || !item) return;
                      std::lock_guard guard(FLock);
                      FEvents.push_back(item->Name());
                  };
              });
              OwnerActive = GetActiveWindow() == FOwner;
              DestroyWindow(FOwner);
          }) {}

    HWND Form() { return FThread.Next(); }
    bool Ended() { return FThread.Ended(); }
    std::vector<std::string> Events() {
        std::lock_guard guard(FLock);
        return FEvents;
    }

    std::atomic<bool> Completed{false}, OwnerActive{false};

private:
    std::atomic<HWND> FOwner{nullptr};
    std::mutex FLock;
    std::vector<std::string> FEvents;
    TAssistantThread FThread;  // last: it fills in the members above
};

void Click(HWND control) {
    PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    PostMessageW(control, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
}

}  // namespace

TEST(AssistantOwnerWindows, ALabelClickIsAnItemEventAndCancelActivatesTheOwner) {
    TOwnedRun run;
    HWND form = run.Form();
    ASSERT_TRUE(form);
    Click(GetDlgItem(form, kNameLabel));
    EXPECT_TRUE(WaitFor([&] {
        for (const std::string& name : run.Events())
            if (name == "NameLabel") return true;
        return false;
    })) << "no item event for the label";
    PostMessageW(GetDlgItem(form, kCancel), BM_CLICK, 0, 0);
    ASSERT_TRUE(run.Ended());
    EXPECT_FALSE(run.Completed);
    EXPECT_TRUE(run.OwnerActive) << "the owner is not the active window after cancel";
}

TEST(AssistantOwnerWindows, TheLastFormActivatesTheOwner) {
    TOwnedRun run;
    HWND form = run.Form();
    ASSERT_TRUE(form);
    SetWindowTextW(GetDlgItem(form, kEmailEdit), L"ann@example.net");
    ASSERT_TRUE(WaitFor([&] { return IsWindowEnabled(GetDlgItem(form, kContinue)) != FALSE; }));
    PostMessageW(GetDlgItem(form, kContinue), BM_CLICK, 0, 0);
    ASSERT_TRUE(run.Ended());
    EXPECT_TRUE(run.Completed);
    EXPECT_TRUE(run.OwnerActive) << "the owner is not the active window after the last form";
}
