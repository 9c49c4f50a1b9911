// The send assistant run for a failure: its forms found by the settings,
// the screenshot form left out without a screenshot, the contact data in
// the report's header, and what was typed offered again when the assistant
// opens a second time for the same failure.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "crashreport/settings/StoredSettings.h"
#include "crashreport/intercept/AssistantRun_win32.h"
#include "crashreport/ui/ContactMemory_win32.h"
#include "tests/win32/AssistantThread.h"

using namespace qr;

namespace {

constexpr int kContinue = 100, kSkip = 101, kCancel = 102;
constexpr int kNameEdit = 201, kEmailEdit = 203;

std::unique_ptr<TIMEException> Failure() {
    TIMESettings settings(
        std::make_shared<const TSettingsTable>(TSettingsTable::Parse(EmbeddedSettingsText())));
    auto failure = std::make_unique<TIMEException>(settings);
    failure->Report.Header().Set("date/time", "2026-12-09");
    failure->Report.Header().Set("Tobrisk version", "3.0o");
    failure->Report.Header().SetInsertPosition(1);
    return failure;
}

// RunAssistant on a thread of its own; the test plays the user.
class TRun {
public:
    TRun(TIMEException& failure, std::u16string_view name, HMODULE forms = nullptr)
        : FThread([this, &failure, name, forms] {
              Result = RunAssistant(failure, name, nullptr, true, forms);
          }) {}
    HWND Next(HWND previous = nullptr) { return FThread.Next(previous); }
    bool Ended() { return FThread.Ended(); }
    TAssistantResult Result = TAssistantResult::NotShown;

private:
    TAssistantThread FThread;  // after Result, which it writes
};

std::wstring Text(HWND form, int id) {
    wchar_t text[256] = {};
    GetWindowTextW(GetDlgItem(form, id), text, 256);
    return text;
}

void Type(HWND form, int id, const wchar_t* text) {
    HWND edit = GetDlgItem(form, id);
    SendMessageW(edit, EM_SETSEL, 0, -1);
    for (const wchar_t* c = text; *c; ++c) SendMessageW(edit, WM_CHAR, *c, 1);
}

}  // namespace

TEST(AssistantRunWindows, ContactDataReachesTheHeaderAndIsOfferedAgainForTheSameFailure) {
    ForgetRememberedContact();
    std::unique_ptr<TIMEException> failure = Failure();
    {
        TRun run(*failure, u"SendAssistant");
        HWND contact = run.Next();
        ASSERT_TRUE(contact);
        Type(contact, kNameEdit, L"Ann");
        Type(contact, kEmailEdit, L"ann@example.net");
        PostMessageW(GetDlgItem(contact, kContinue), BM_CLICK, 0, 0);
        HWND details = run.Next(contact);
        ASSERT_TRUE(details);
        PostMessageW(GetDlgItem(details, kSkip), BM_CLICK, 0, 0);
        // Without a screenshot the assistant ends after two forms.
        ASSERT_TRUE(run.Ended());
        EXPECT_EQ(run.Result, TAssistantResult::Completed);
    }
    EXPECT_EQ(failure->MailFrom, u"Ann <ann@example.net>");
    EXPECT_EQ(failure->Report.Header().Get("contact email").value_or(""), "ann@example.net");
    EXPECT_EQ(failure->Report.Header().IndexOf("contact name"), 1u)
        << "header fields go to the insert position";
    EXPECT_FALSE(failure->Report.Sections().Get("error details"));
    EXPECT_FALSE(ReadRememberedContact()) << "not ticked: nothing remembered";

    // Again for the same failure: the typed values come back; cancelling
    // leaves the report as it was.
    failure->Report.Header().Set("contact email", "");
    {
        TRun run(*failure, u"SendAssistant");
        HWND contact = run.Next();
        ASSERT_TRUE(contact);
        EXPECT_EQ(Text(contact, kNameEdit), L"Ann");
        EXPECT_EQ(Text(contact, kEmailEdit), L"ann@example.net");
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(contact, kContinue)));
        PostMessageW(GetDlgItem(contact, kCancel), BM_CLICK, 0, 0);
        ASSERT_TRUE(run.Ended());
        EXPECT_EQ(run.Result, TAssistantResult::Cancelled);
    }
    EXPECT_FALSE(failure->Report.Header().Get("contact email"));
}

TEST(AssistantRunWindows, AnUnknownAssistantIsNotShown) {
    std::unique_ptr<TIMEException> failure = Failure();
    EXPECT_EQ(RunAssistant(*failure, u"NoSuchAssistant", nullptr), TAssistantResult::NotShown);
}

// A program without the form resources shows no assistant: no copy of the
// forms stands in for them.
TEST(AssistantRunWindows, AnAssistantWithoutItsFormResourcesIsNotShown) {
    std::unique_ptr<TIMEException> failure = Failure();
    TRun run(*failure, u"SendAssistant", GetModuleHandleW(L"kernel32.dll"));
    ASSERT_TRUE(run.Ended()) << "the assistant was shown";
    EXPECT_EQ(run.Result, TAssistantResult::NotShown);
}

TEST(AssistantRunWindows, TheTitleIsExpandedLikeEveryTextSetting) {
    std::unique_ptr<TIMEException> failure = Failure();
    failure->ClassName = "EAssistantTitle";
    failure->SetText("Assistant1", u"SendAssistant|%exceptClass% - send|ContactForm");
    TRun run(*failure, u"SendAssistant");
    HWND contact = run.Next();
    ASSERT_TRUE(contact);
    wchar_t title[256] = {};
    GetWindowTextW(contact, title, 256);
    EXPECT_STREQ(title, L"EAssistantTitle - send");
    PostMessageW(GetDlgItem(contact, kCancel), BM_CLICK, 0, 0);
    ASSERT_TRUE(run.Ended());
}
