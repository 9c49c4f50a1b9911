// The send assistant's forms as the user meets them: the assistant runs on
// a thread of its own (as in the crash reporter's handler thread) and the
// test drives its windows from outside, as a user or the crash-test driver
// would.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

#include "crashreport/report/BugReport.h"
#include "crashreport/ui/AssistantForm.h"
#include "tests/support/StoredForms.h"
#include "crashreport/ui/Assistant_win32.h"
#include "crashreport/ui/ContactFormHandler_win32.h"
#include "crashreport/ui/ContactMemory_win32.h"
#include "tests/support/WindowTestKit_win32.h"
#include "tests/win32/AssistantThread.h"

using namespace qr;

namespace {

using testkit::WaitFor;

constexpr int kContinue = 100, kSkip = 101, kCancel = 102;
// The contact form's own items: NameLabel, NameEdit, EmailLabel, EmailEdit, MemCheck.
constexpr int kNameEdit = 201, kEmailEdit = 203, kMemCheck = 204;
constexpr int kDetailsMemo = 201;

std::unique_ptr<TNVForm> StoredForm(const char16_t* resource) {
    return ReadAssistantForm(*StoredFormDescription(resource));
}

// The send assistant without its screenshot form (no screenshot here), on
// a thread of its own, with a visible owner window like the crash dialog.
class TAssistantRun {
public:
    TAssistantRun()
        : FThread([this] {
              FOwner = CreateOwnerWindow();
              std::vector<std::unique_ptr<TNVForm>> forms;
              forms.push_back(StoredForm(u"TMECONTACTFORM"));
              forms.push_back(StoredForm(u"TMEDETAILSFORM"));
              TNVAssistant assistant(u"Send Assistant", std::move(forms));
              Completed = assistant.ShowModal(FOwner, [this](const UString& onAction) -> TNVActionHandler {
                  if (onAction == u"ContactFormAction")
                      return ContactFormHandler([this](const UString& from) { MailFrom = from; });
                  return {};
              });
              OwnerEnabled = IsWindowEnabled(FOwner) != FALSE;
              Data = assistant.Data();
              DestroyWindow(FOwner);
          }) {}

    // Waits for the next form to be shown.
    HWND WaitForForm(HWND previous = nullptr) { return FThread.Next(previous); }
    bool Ended() { return FThread.Ended(); }
    HWND Owner() const { return FOwner; }

    bool Completed = false;
    bool OwnerEnabled = false;
    std::vector<TNVFormData> Data;
    UString MailFrom;

private:
    std::atomic<HWND> FOwner{nullptr};
    TAssistantThread FThread;  // last: it fills in the members above
};

bool Enabled(HWND form, int id) { return IsWindowEnabled(GetDlgItem(form, id)) != FALSE; }

// Types as the keyboard would: the whole text replaced, one character at a
// time (a multi-line edit reports no change for WM_SETTEXT).
void Type(HWND form, int id, const wchar_t* text) {
    HWND edit = GetDlgItem(form, id);
    SendMessageW(edit, EM_SETSEL, 0, -1);
    for (const wchar_t* c = text; *c; ++c) SendMessageW(edit, WM_CHAR, *c, 1);
}

void Press(HWND form, int id) { PostMessageW(GetDlgItem(form, id), BM_CLICK, 0, 0); }

std::wstring Text(HWND window) {
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return text;
}

void ForgetEverything() {
    ForgetRememberedContact();
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Harnwick\\ContactForm");
}

}  // namespace

TEST(AssistantWindows, ContinueWaitsForAValidAddressAndTheDataReachesTheReport) {
    ForgetEverything();
    TAssistantRun run;
    HWND contact = run.WaitForForm();
    ASSERT_TRUE(contact);
    EXPECT_EQ(Text(contact), L"Send Assistant");
    EXPECT_FALSE(IsWindowEnabled(run.Owner()));
    EXPECT_EQ(Text(GetDlgItem(contact, kContinue)), L"Continue");
    EXPECT_FALSE(Enabled(contact, kSkip));
    EXPECT_TRUE(Enabled(contact, kCancel));
    EXPECT_FALSE(Enabled(contact, kContinue)) << "the address is required";
    for (const wchar_t* invalid :
         {L"jane@example", L".jane@example.com", L"jane@.example.com", L"jane@doe@example.com",
          L" jane@example.com", L"jane@example.com.", L"@example.com", L"jane doe@example.com"}) {
        Type(contact, kEmailEdit, invalid);
        EXPECT_FALSE(Enabled(contact, kContinue)) << std::string(invalid, invalid + wcslen(invalid));
    }
    Type(contact, kEmailEdit, L"jane.doe@example.com");
    EXPECT_TRUE(Enabled(contact, kContinue));
    Type(contact, kNameEdit, L"Jane Doe");
    Press(contact, kMemCheck);
    ASSERT_TRUE(WaitFor(
        [&] { return SendMessageW(GetDlgItem(contact, kMemCheck), BM_GETCHECK, 0, 0) == BST_CHECKED; }));
    Press(contact, kContinue);

    HWND details = run.WaitForForm(contact);
    ASSERT_TRUE(details);
    EXPECT_TRUE(Enabled(details, kSkip));
    EXPECT_FALSE(Enabled(details, kContinue)) << "the details are required to continue";
    Type(details, kDetailsMemo, L"while sending");
    Press(details, kSkip);

    ASSERT_TRUE(run.Ended());
    EXPECT_TRUE(run.Completed);
    EXPECT_TRUE(run.OwnerEnabled);
    EXPECT_EQ(run.MailFrom, u"Jane Doe <jane.doe@example.com>");
    ASSERT_EQ(run.Data.size(), 2u);
    EXPECT_EQ(run.Data[0].Result, nvmContinue);
    EXPECT_EQ(run.Data[1].Result, nvmSkip);
    TBugReport report;
    report.Header().Set("date/time", "2026-12-09");
    report.Header().Set("Tobrisk version", "1");
    report.Header().SetInsertPosition(1);
    PutAssistantIntoReport(run.Data, report.Header(), report.Sections());
    EXPECT_EQ(report.Header().Get("contact email").value_or(""), "jane.doe@example.com");
    EXPECT_EQ(report.Header().Get("contact name").value_or(""), "Jane Doe");
    EXPECT_EQ(report.Header().IndexOf("contact name"), 1u);
    EXPECT_FALSE(report.Sections().Get("error details")) << "a skipped form adds nothing";

    std::optional<TRememberedContact> remembered = ReadRememberedContact();
    ASSERT_TRUE(remembered);
    EXPECT_EQ(remembered->Name, u"Jane Doe");
    EXPECT_EQ(remembered->Email, u"jane.doe@example.com");
}

TEST(AssistantWindows, RememberedDataPreFillsAndUntickingForgetsIt) {
    ForgetEverything();
    StoreRememberedContact({u"Max", u"max@example.org"});
    TAssistantRun run;
    HWND contact = run.WaitForForm();
    ASSERT_TRUE(contact);
    EXPECT_EQ(Text(GetDlgItem(contact, kNameEdit)), L"Max");
    EXPECT_EQ(Text(GetDlgItem(contact, kEmailEdit)), L"max@example.org");
    EXPECT_EQ(SendMessageW(GetDlgItem(contact, kMemCheck), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_TRUE(Enabled(contact, kContinue));
    Press(contact, kMemCheck);
    ASSERT_TRUE(WaitFor(
        [&] { return SendMessageW(GetDlgItem(contact, kMemCheck), BM_GETCHECK, 0, 0) == BST_UNCHECKED; }));
    Press(contact, kContinue);
    HWND details = run.WaitForForm(contact);
    ASSERT_TRUE(details);
    Type(details, kDetailsMemo, L"at start-up");
    ASSERT_TRUE(WaitFor([&] { return Enabled(details, kContinue); }));
    Press(details, kContinue);
    ASSERT_TRUE(run.Ended());
    EXPECT_TRUE(run.Completed);
    EXPECT_FALSE(ReadRememberedContact()) << "unticked: both values deleted";
    ASSERT_EQ(run.Data.size(), 2u);
    EXPECT_EQ(run.Data[1].Result, nvmContinue);
    TBugReport report;
    PutAssistantIntoReport(run.Data, report.Header(), report.Sections());
    EXPECT_EQ(report.Sections().Get("error details").value_or(""), "at start-up");
}

TEST(AssistantWindows, CancelOrEscapeAtEitherFormCancelsAndFreesTheOwner) {
    ForgetEverything();
    for (int form = 0; form < 2; ++form) {
        const bool escape = form == 1;
        {
            SCOPED_TRACE(std::to_string(form) + (escape ? " escape" : " cancel"));
            TAssistantRun run;
            HWND window = run.WaitForForm();
            ASSERT_TRUE(window);
            if (form == 1) {
                Type(window, kEmailEdit, L"a@b.cd");
                Press(window, kContinue);
                HWND next = run.WaitForForm(window);
                ASSERT_TRUE(next);
                window = next;
            }
            if (escape)
                PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0);
            else
                Press(window, kCancel);
            ASSERT_TRUE(run.Ended());
            EXPECT_FALSE(run.Completed);
            EXPECT_TRUE(run.OwnerEnabled);
            EXPECT_EQ(run.Data[size_t(form)].Result, nvmCancel);
        }
    }
}

TEST(AssistantWindows, TheHandlerSeesTheFormsLifeItsItemsAndItsTimer) {
    struct TEvent {
        TNVAction Action;
        bool Item, Window;
        int Result;
    };
    std::mutex lock;
    std::vector<TEvent> events;
    std::atomic<int> ticks{0};
    std::unique_ptr<TNVForm> form = StoredForm(u"TMEDETAILSFORM");
    form->Timer = 250;
    std::atomic<int> result{0};
    TAssistantThread thread([&] {
        TNVFormWindow window(*form, [&](TNVFormWindow& shown, TNVAction action, TNVItem* item) {
            std::lock_guard guard(lock);
            events.push_back({action, item != nullptr, shown.Handle() != nullptr, shown.ModalResult()});
            if (action == nvaItemEvent && !item) ++ticks;
        });
        result = window.ShowModal(nullptr);
    });
    HWND window = thread.Next();
    ASSERT_TRUE(window);
    EXPECT_TRUE(WaitFor([&] { return ticks >= 2; }))
        << "the form's timer raises the item event without an item";
    Type(window, kDetailsMemo, L"x");
    Press(window, kSkip);
    ASSERT_TRUE(thread.Ended());
    EXPECT_EQ(result, nvmSkip);

    std::lock_guard guard(lock);
    ASSERT_GE(events.size(), 5u);
    EXPECT_EQ(events.front().Action, nvaFormCreated);
    EXPECT_FALSE(events.front().Window) << "created before the window exists";
    EXPECT_EQ(events[1].Action, nvaFormShown);
    EXPECT_TRUE(events[1].Window);
    EXPECT_EQ(events.back().Action, nvaFormClosed);
    EXPECT_EQ(events.back().Result, nvmSkip) << "the closed form knows how it ended";
    int typed = 0;
    for (size_t i = 2; i + 1 < events.size(); ++i) {
        EXPECT_EQ(events[i].Action, nvaItemEvent) << i;
        typed += events[i].Item;
    }
    EXPECT_GE(typed, 1) << "typing raises the item event for the memo";
}
