// The assistants' stored forms read back with the component reader, and
// what a filled-in form hands to the report.
#include <gtest/gtest.h>

#include "crashreport/ui/AssistantDefinition.h"
#include "crashreport/ui/AssistantForm.h"
#include "tests/support/StoredForms.h"

namespace qr {
namespace {

std::unique_ptr<TNVForm> Stored(const char16_t* formName) {
    std::optional<std::string> text = StoredFormDescription(FormResourceName(formName));
    if (!text) throw std::runtime_error("no stored form");
    return ReadAssistantForm(*text);
}

struct TButtonState {
    UString Caption;
    bool Enabled;
};

void ExpectButtons(const TNVForm& form, TButtonState cont, TButtonState skip, TButtonState cancel) {
    std::vector<TNVItem*> items = form.Items();
    ASSERT_GE(items.size(), 3u);
    const TButtonState expected[] = {cont, skip, cancel};
    for (size_t i = 0; i < 3; ++i) {
        auto* button = dynamic_cast<TNVButton*>(items[i]);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->Caption, expected[i].Caption);
        EXPECT_EQ(button->Enabled, expected[i].Enabled);
    }
}

template <class T>
T& Item(const TNVForm& form, size_t index, const char* name) {
    std::vector<TNVItem*> items = form.Items();
    if (index >= items.size()) throw std::runtime_error("missing item");
    T* item = dynamic_cast<T*>(items[index]);
    if (!item || item->Name() != name) throw std::runtime_error(std::string("not ") + name);
    return *item;
}

TEST(AssistantForm, ContactFormAsStored) {
    std::unique_ptr<TNVForm> form = Stored(u"ContactForm");
    EXPECT_EQ(form->Name(), "ContactForm");
    EXPECT_EQ(form->Message, UString(u"Contact Information"));
    EXPECT_FALSE(form->OnAction.empty());
    EXPECT_EQ(form->Timer, 0);
    EXPECT_EQ(form->MinWidth, 0);
    ExpectButtons(*form, {u"Continue", true}, {u"Skip", false}, {u"Cancel", true});
    ASSERT_EQ(form->Items().size(), 8u);
    EXPECT_EQ(Item<TNVLabel>(*form, 3, "NameLabel").Caption, UString(u"your name:"));
    TNVEdit& name = Item<TNVEdit>(*form, 4, "NameEdit");
    EXPECT_EQ(name.Lines, 1);
    EXPECT_TRUE(name.Optional);
    EXPECT_EQ(name.OutputName, UString(u"contact name"));
    EXPECT_EQ(name.OutputType, TNVOutputType::nvoHeaderField);
    EXPECT_EQ(Item<TNVLabel>(*form, 5, "EmailLabel").Caption, UString(u"your email:"));
    TNVEdit& email = Item<TNVEdit>(*form, 6, "EmailEdit");
    EXPECT_FALSE(email.Optional);
    EXPECT_TRUE(email.Valid);
    EXPECT_EQ(email.OutputName, UString(u"contact email"));
    TNVCheckBox& remember = Item<TNVCheckBox>(*form, 7, "MemCheck");
    EXPECT_EQ(remember.Caption, UString(u"remember me"));
    EXPECT_FALSE(remember.Checked);
    EXPECT_TRUE(remember.OutputName.empty());
}

TEST(AssistantForm, DetailsAndScreenshotFormsAsStored) {
    std::unique_ptr<TNVForm> details = Stored(u"DetailsForm");
    EXPECT_EQ(details->Message, UString(u"Error Details"));
    EXPECT_TRUE(details->OnAction.empty());
    ExpectButtons(*details, {u"Continue", true}, {u"Skip", true}, {u"Cancel", true});
    ASSERT_EQ(details->Items().size(), 5u);
    EXPECT_EQ(Item<TNVLabel>(*details, 3, "DetailsLabel").Caption,
              UString(u"in which situation did the error occur?"));
    TNVEdit& memo = Item<TNVEdit>(*details, 4, "DetailsMemo");
    EXPECT_EQ(memo.Lines, 9);
    EXPECT_FALSE(memo.Optional);
    EXPECT_EQ(memo.OutputName, UString(u"error details"));
    EXPECT_EQ(memo.OutputType, TNVOutputType::nvoOwnSection);

    std::unique_ptr<TNVForm> shot = Stored(u"ScrShotForm");
    EXPECT_EQ(shot->Message, UString(u"Screenshot Configuration"));
    EXPECT_EQ(shot->Timer, 250);
    EXPECT_EQ(shot->ActiveControl, UString(u"ContinueBtn"));
    EXPECT_FALSE(shot->OnAction.empty());
    ExpectButtons(*shot, {u"Continue", true}, {u"Skip", false}, {u"Cancel", true});
    ASSERT_EQ(shot->Items().size(), 6u);
    TNVCheckBox& attach = Item<TNVCheckBox>(*shot, 3, "AttachCheck");
    EXPECT_EQ(attach.Caption, UString(u"attach a screenshot to the bug report"));
    EXPECT_TRUE(attach.Checked);
    TNVImage& image = Item<TNVImage>(*shot, 4, "ScrShotImg");
    EXPECT_TRUE(image.Border);
    EXPECT_TRUE(image.Clickable);
    EXPECT_EQ(Item<TNVLabel>(*shot, 5, "ClickLabel").Caption, UString(u"(click to edit image)"));
    for (TNVItem* item : shot->Items()) {
        EXPECT_TRUE(item->Enabled || dynamic_cast<TNVButton*>(item)) << item->Name();
        EXPECT_EQ(item->Spacing, 0);
    }
    EXPECT_FALSE(StoredFormDescription(u"TMEOTHERFORM"));
}

TEST(AssistantForm, FilledContactFormGoesIntoTheHeader) {
    std::unique_ptr<TNVForm> form = Stored(u"ContactForm");
    dynamic_cast<TNVEdit*>(form->FindItem("nameedit"))->Text = u"John Smith";
    dynamic_cast<TNVEdit*>(form->FindItem("EmailEdit"))->Text = u"john@example.com";
    TIMEFields header, sections;
    PutAssistantIntoReport({form->Data(nvmContinue)}, header, sections);
    std::vector<TReportField> expected{{"contact name", "John Smith"}, {"contact email", "john@example.com"}};
    EXPECT_EQ(header.Items(), expected);
}

TEST(AssistantForm, ButtonsMustComeFirstAndMissingCaptionsGetDefaults) {
    std::unique_ptr<TNVForm> form = ReadAssistantForm(
        "object F: TNVForm\n"
        "  object ContinueBtn: TNVButton\n  end\n"
        "  object SkipBtn: TNVButton\n  end\n"
        "  object CancelBtn: TNVButton\n  end\n"
        "end\n");
    ExpectButtons(*form, {u"Next >", true}, {u"Skip", true}, {u"Cancel", true});
    EXPECT_THROW(ReadAssistantForm("object F: TNVForm\n"
                                   "  object L: TNVLabel\n  end\n"
                                   "  object ContinueBtn: TNVButton\n  end\n"
                                   "  object SkipBtn: TNVButton\n  end\n"
                                   "  object CancelBtn: TNVButton\n  end\n"
                                   "end\n"),
                 EAssistantFormError);
    EXPECT_THROW(ReadAssistantForm("object F: TMainForm\nend\n"), EAssistantFormError);
}

}  // namespace
}  // namespace qr
