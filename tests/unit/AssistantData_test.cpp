// What the assistants take from the settings and what their forms put
// into the report.
#include <gtest/gtest.h>

#include <memory>

#include "crashreport/settings/SettingsTable.h"
#include "crashreport/settings/StoredSettings.h"
#include "crashreport/ui/AssistantData.h"
#include "crashreport/ui/AssistantDefinition.h"

namespace qr {
namespace {

TNVFormData ContactForm(int result) {
    TNVFormData form{u"ContactForm", result, {}, {}};
    form.Edits.push_back(
        {u"NameEdit", u"John Smith", 1, true, true, u"contact name", TNVOutputType::nvoHeaderField});
    form.Edits.push_back(
        {u"EmailEdit", u"john@example.com", 1, false, true, u"contact email", TNVOutputType::nvoHeaderField});
    form.CheckBoxes.push_back({u"MemCheck", true, u""});
    return form;
}

TNVFormData DetailsForm(int result, UString text, int lines = 9) {
    TNVFormData form{u"DetailsForm", result, {}, {}};
    form.Edits.push_back({u"DetailsMemo", std::move(text), lines, false, true, u"error details",
                          TNVOutputType::nvoOwnSection});
    return form;
}

TEST(AssistantData, ContinuedFormsFillHeaderAtInsertPositionAndAppendSections) {
    TIMEFields header, sections;
    header.Set("date/time", "2026-12-09");
    header.Set("callstack crc", "12345678");
    header.SetInsertPosition(1);
    sections.Set("main thread ($1a4):", "00401000 app.exe Main");

    PutAssistantIntoReport({ContactForm(nvmContinue), DetailsForm(nvmContinue, u"clicked send\r\ntwice")},
                           header, sections);

    std::vector<TReportField> expectedHeader{{"date/time", "2026-12-09"},
                                             {"contact name", "John Smith"},
                                             {"contact email", "john@example.com"},
                                             {"callstack crc", "12345678"}};
    EXPECT_EQ(header.Items(), expectedHeader);
    std::vector<TReportField> expectedSections{{"main thread ($1a4):", "00401000 app.exe Main"},
                                               {"error details", "clicked send\r\ntwice"}};
    EXPECT_EQ(sections.Items(), expectedSections);
}

TEST(AssistantData, SkippedCancelledAndEmptyGiveNothing) {
    TIMEFields header, sections;
    TNVFormData noName = ContactForm(nvmContinue);
    noName.Edits[0].Text.clear();
    PutAssistantIntoReport({ContactForm(nvmSkip), DetailsForm(nvmSkip, u"skipped"), ContactForm(nvmCancel),
                            DetailsForm(nvmContinue, u""), noName},
                           header, sections);
    std::vector<TReportField> expected{{"contact email", "john@example.com"}};
    EXPECT_EQ(header.Items(), expected);
    EXPECT_EQ(sections.Count(), 0u);
}

TEST(AssistantData, OneLineOwnSectionEditAndCheckBoxesBecomeHeaderFields) {
    TIMEFields header, sections;
    TNVFormData form = DetailsForm(nvmContinue, u"short", 1);
    form.CheckBoxes.push_back({u"A", true, u"attach"});
    form.CheckBoxes.push_back({u"B", false, u"newsletter"});
    form.CheckBoxes.push_back({u"C", true, u""});
    PutAssistantIntoReport({form}, header, sections);
    std::vector<TReportField> expected{{"error details", "short"}, {"attach", "yes"}, {"newsletter", "no"}};
    EXPECT_EQ(header.Items(), expected);
    EXPECT_EQ(sections.Count(), 0u);
}

TEST(AssistantData, ContinueNeedsEveryRequiredEditValidAndFilled) {
    std::vector<TNVEditData> edits = ContactForm(nvmContinue).Edits;
    EXPECT_TRUE(ContinueAllowed(edits));
    edits[0].Text.clear();  // the name is optional
    edits[0].Valid = false;
    EXPECT_TRUE(ContinueAllowed(edits));
    edits[1].Valid = false;
    EXPECT_FALSE(ContinueAllowed(edits));
    edits[1].Valid = true;
    edits[1].Text.clear();
    EXPECT_FALSE(ContinueAllowed(edits));
    EXPECT_TRUE(ContinueAllowed({}));
}

TIMESettings SettingsWith(const char* text) {
    return TIMESettings(std::make_shared<TSettingsTable>(TSettingsTable::Parse(text)));
}

TEST(AssistantDefinition, FoundByNameWithScreenshotFormOnlyWhenThereIsOne) {
    TIMESettings settings(std::make_shared<TSettingsTable>(TSettingsTable::Parse(EmbeddedSettingsText())));
    std::optional<TAssistantDefinition> send = FindAssistant(settings, u"sendassistant", true);
    ASSERT_TRUE(send);
    EXPECT_EQ(send->Name, UString(u"SendAssistant"));
    EXPECT_EQ(send->Title, UString(u"Send Assistant"));
    EXPECT_EQ(send->Forms, (std::vector<UString>{u"ContactForm", u"DetailsForm", u"ScrShotForm"}));

    send = FindAssistant(settings, u"SendAssistant", false);
    ASSERT_TRUE(send);
    EXPECT_EQ(send->Forms, (std::vector<UString>{u"ContactForm", u"DetailsForm"}));

    std::optional<TAssistantDefinition> print = FindAssistant(settings, u"PrintAssistant", true);
    ASSERT_TRUE(print);
    EXPECT_EQ(print->Title, UString(u"Print Assistant"));
    EXPECT_FALSE(FindAssistant(settings, u"MailAssistant", true));
}

TEST(AssistantDefinition, NoScreenshotFormAtDepthZeroAndLookupStopsAtFirstGap) {
    TIMESettings settings = SettingsWith(
        "ScrShotDepth=int:0\n"
        "Assistant1=text:A|Title A|ScrShotForm|DetailsForm\n"
        "Assistant3=text:C|Title C|ContactForm\n");
    std::optional<TAssistantDefinition> a = FindAssistant(settings, u"A", true);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->Forms, (std::vector<UString>{u"DetailsForm"}));
    EXPECT_FALSE(FindAssistant(settings, u"C", true));
}

}  // namespace
}  // namespace qr
