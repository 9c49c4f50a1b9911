// Placeholder expansion of the crash reporter's texts, against a fake of the
// operating-system queries.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>

#include "crashreport/settings/Placeholders.h"
#include "crashreport/settings/Settings.h"
#include "crashreport/settings/StoredSettings.h"

namespace qr {
namespace {

class TFakeSystem : public ISystemQueries {
public:
    UString Program = u"C:\\Program Files\\Quellora\\QuelloraRemoteServer.exe";
    std::map<UString, std::array<uint16_t, 4>> Versions;
    TLocalTime Now{2024, 3, 7, 9, 5, 3, 7};
    UString Desktop = u"C:\\Users\\Anna\\Desktop\\";
    int Queries = 0;

    UString ProgramFileName() override { return ++Queries, Program; }
    std::optional<std::array<uint16_t, 4>> FileVersion(const UString& fileName) override {
        ++Queries;
        auto found = Versions.find(fileName);
        if (found == Versions.end()) return std::nullopt;
        return found->second;
    }
    TLocalTime LocalTime() override { return ++Queries, Now; }
    UString ComputerName() override { return ++Queries, u"PRESENTER-PC"; }
    UString DesktopFolder() override { return ++Queries, Desktop; }
    UString UserAppDataFolder() override { return ++Queries, u"C:\\Users\\Anna\\AppData\\Roaming"; }
    UString CommonAppDataFolder() override { return ++Queries, u"C:\\ProgramData\\\\"; }
};

class Placeholders : public ::testing::Test {
protected:
    TFakeSystem System;
    UString Expand(const UString& text, const TPlaceholderContext& context = {}) {
        return ExpandPlaceholders(text, System, context);
    }
};

TEST_F(Placeholders, TextWithoutPlaceholdersIsUnchangedAndAsksNothing) {
    const UString texts[] = {u"", u"An error occurred in the application.", u"100% sure, 50%",
                             u"%unknown% %APPNAME% %appname %LF %lf% %bugreport%", u"%%appname"};
    for (const UString& text : texts) EXPECT_EQ(Expand(text), text);
    EXPECT_EQ(System.Queries, 0);
}

TEST_F(Placeholders, ProgramAndModuleNamesWithExtensionWithoutFolder) {
    EXPECT_EQ(Expand(u"%appname% / %modname%"), u"QuelloraRemoteServer.exe / QuelloraRemoteServer.exe");
    TPlaceholderContext context;
    context.ModuleFileName = u"C:\\Windows\\system32\\kernel32.dll";
    EXPECT_EQ(Expand(u"[%modname%]", context), u"[kernel32.dll]");
    System.Program = u"/opt/quellora/qremote";
    EXPECT_EQ(Expand(u"%appname%"), u"qremote");
}

TEST_F(Placeholders, StoredTitleAndFileCheckTexts) {
    TIMESettings settings(std::make_shared<TSettingsTable>(TSettingsTable::Parse(EmbeddedSettingsText())));
    EXPECT_EQ(Expand(settings.GetText("TitleBar")), u"QuelloraRemoteServer.exe");
    EXPECT_EQ(Expand(settings.GetText("BitFaultMsg")),
              u"The file \"QuelloraRemoteServer.exe\" seems to be corrupt!");
}

TEST_F(Placeholders, VersionsOrQuestionMark) {
    EXPECT_EQ(Expand(u"%appversion% %modversion%"), u"? ?");
    System.Versions[System.Program] = {1, 2, 30, 400};
    TPlaceholderContext context;
    context.ModuleFileName = u"C:\\x\\plugin.dll";
    EXPECT_EQ(Expand(u"%appversion% %modversion%", context), u"1.2.30.400 ?");
    System.Versions[u"C:\\x\\plugin.dll"] = {0, 0, 0, 0};
    EXPECT_EQ(Expand(u"%modversion%", context), u"0.0.0.0");
}

TEST_F(Placeholders, ExceptionClassAndMessageOrUnknown) {
    EXPECT_EQ(Expand(u"%exceptClass%: %exceptMsg%"), u"Unknown: Unknown");
    TPlaceholderContext context;
    context.ExceptClass = u"EAccessViolation";
    context.ExceptMessage = u"Access violation";
    EXPECT_EQ(Expand(u"%exceptClass%: %exceptMsg%", context), u"EAccessViolation: Access violation");
}

TEST_F(Placeholders, BugReportOnlyWhereOneIsAtHand) {
    EXPECT_EQ(Expand(u"see %bugReport%%LF%"), u"see %bugReport%\r\n");
    TPlaceholderContext context;
    context.BugReport = u"report";
    EXPECT_EQ(Expand(u"%bugReport%, %bugReport%", context), u"report, report");
}

TEST_F(Placeholders, LineBreaksAreCrLfEverywhere) {
    EXPECT_EQ(Expand(u"%LF%a%LF%%LF%b%LF%"), u"\r\na\r\n\r\nb\r\n");
}

TEST_F(Placeholders, DateAndTimeArePaddedMillisecondsAreNot) {
    EXPECT_EQ(Expand(u"%date%|%time%|%datetime%"), u"2024-03-07|09:05:03, 7ms|2024-03-07, 09:05:03, 7ms");
    EXPECT_EQ(System.Queries, 1);  // one reading of the clock serves all three
    TPlaceholderContext context;
    context.Time = TLocalTime{987, 12, 31, 23, 59, 58, 120};
    EXPECT_EQ(Expand(u"%datetime%", context), u"0987-12-31, 23:59:58, 120ms");
    context.Time = TLocalTime{2025, 1, 1, 0, 0, 0, 0};
    EXPECT_EQ(Expand(u"%time%", context), u"00:00:00, 0ms");
}

TEST_F(Placeholders, ComputerNameAndFoldersWithoutTrailingBackslash) {
    EXPECT_EQ(Expand(u"%computerName%"), u"PRESENTER-PC");
    EXPECT_EQ(Expand(u"%desktop%\\bugreport.txt"), u"C:\\Users\\Anna\\Desktop\\bugreport.txt");
    EXPECT_EQ(Expand(u"%userappdata%"), u"C:\\Users\\Anna\\AppData\\Roaming");
    EXPECT_EQ(Expand(u"%commonappdata%"), u"C:\\ProgramData");
    System.Desktop = u"D:\\";
    EXPECT_EQ(Expand(u"%desktop%"), u"D:");
}

TEST_F(Placeholders, ReplacementsRunInTableOrder) {
    // "%LF%" comes before "%date%", so it takes the shared percent sign.
    EXPECT_EQ(Expand(u"%date%LF%"), u"%date\r\n");
    EXPECT_EQ(Expand(u"%LF%date%"), u"\r\ndate%");
}

TEST_F(Placeholders, InsertedTextIsNotExpandedAgain) {
    // A message or report that names a placeholder keeps it as written.
    TPlaceholderContext context;
    context.ExceptMessage = u"bad %LF% in %desktop%";
    context.BugReport = u"user typed %appname%%";
    EXPECT_EQ(Expand(u"%exceptMsg%|%bugReport%LF%", context),
              u"bad %LF% in %desktop%|user typed %appname%%LF%");
    // Nor can a replacement join with the text around it into a new one.
    context.ExceptMessage = u"%L";
    EXPECT_EQ(Expand(u"%exceptMsg%F%", context), u"%LF%");
}

TEST(PlaceholdersOnThisSystem, ProgramNameAndClockHaveTheirShape) {
    auto system = CreateSystemQueries();
    UString program = system->ProgramFileName();
    UString name = ExpandPlaceholders(u"%appname%", *system);
    ASSERT_FALSE(name.empty());
    EXPECT_EQ(name.find_first_of(u"\\/"), UString::npos);
    ASSERT_GE(program.size(), name.size());
    EXPECT_EQ(program.substr(program.size() - name.size()), name);

    // Every digit shown as 9: the layout of the fields without their values.
    auto shape = [](UString text) {
        for (char16_t& c : text)
            if (c >= u'0' && c <= u'9') c = u'9';
        return text;
    };
    EXPECT_EQ(shape(ExpandPlaceholders(u"%date%", *system)), u"9999-99-99");
    UString time = ExpandPlaceholders(u"%time%", *system);
    UString ms = time.substr(std::min<size_t>(time.size(), 10));
    EXPECT_EQ(shape(time.substr(0, 10)), u"99:99:99, ");
    EXPECT_TRUE(ms == u"0ms" || (ms.size() >= 3 && ms.size() <= 5 && ms[0] != u'0' &&
                                 shape(ms) == UString(ms.size() - 2, u'9') + u"ms"))
        << UnicodeToUtf8(time);
    EXPECT_FALSE(ExpandPlaceholders(u"%computerName%", *system).empty());
}

}  // namespace
}  // namespace qr
