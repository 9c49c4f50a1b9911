// The crash reporter's stored settings table, its built-in defaults, the
// per-failure overrides and the list-valued settings.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>

#include "crashreport/settings/KernelObjectNames.h"
#include "crashreport/settings/Settings.h"
#include "crashreport/settings/StoredSettings.h"

namespace qr {
namespace {

std::shared_ptr<const TSettingsTable> StoredTable() {
    return std::make_shared<TSettingsTable>(TSettingsTable::Parse(EmbeddedSettingsText()));
}

struct TExpected {
    const char* Key;
    TSettingType Type;
    const char* Value;  // text as UTF-8; numbers and booleans as written
};

constexpr TSettingType B = TSettingType::stBoolean, I = TSettingType::stInteger, E = TSettingType::stEnum,
                       T = TSettingType::stText;

// This program's settings, every key.
// clang-format off
const TExpected kProgramSettings[] = {
    {"Enabled", B, "True"}, {"NoSettings", B, "False"}, {"CheckFileCrc", B, "False"},
    {"CheckFreeze", B, "False"}, {"FreezeTimeout", I, "60000"}, {"AutoSave", B, "True"},
    {"AutoSaveIfNotSent", B, "True"}, {"AutoSend", B, "False"}, {"AutoSendBox", B, "False"},
    {"AutoClip", B, "False"}, {"PauseThreads", B, "False"}, {"PlWaitBox", B, "True"},
    {"AutoContinue", B, "False"}, {"AutoRestart", I, "0"}, {"AutoClose", I, "0"}, {"SendBtnVis", B, "True"},
    {"SaveBtnVis", B, "False"}, {"PrintBtnVis", B, "False"}, {"ShowBtnVis", B, "True"},
    {"ContinueBtnVis", B, "True"}, {"RestartBtnVis", B, "True"}, {"CloseBtnVis", B, "True"},
    {"FocusedBtn", E, "0"}, {"SendAssis", T, "SendAssistant"}, {"SaveAssis", T, "SaveAssistant"},
    {"PrintAssis", T, "PrintAssistant"}, {"AutoShowBugRep", B, "False"}, {"UglyBtns", B, "False"},
    {"MailAddr", T, ""}, {"SendInBackgr", B, "True"}, {"MailAsSmtpServer", B, "False"},
    {"MailAsSmtpClient", B, "False"}, {"UploadViaHttp", B, "False"}, {"MailViaMapi", B, "True"},
    {"MailViaMailto", B, "True"}, {"SmtpServer", T, ""}, {"SmtpAccount", T, ""}, {"SmtpPassword", T, ""},
    {"SmtpPort", I, "25"}, {"HttpServer", T, ""}, {"HttpAccount", T, ""}, {"HttpPassword", T, ""},
    {"HttpPort", I, "80"}, {"AttachBugRep", B, "True"}, {"AttachBugRepFile", B, "True"},
    {"DelBugRepFile", B, "True"}, {"BugRepSendAs", T, "bugreport.txt"}, {"BugRepZip", T, ""},
    {"ScrShotDepth", I, "8"}, {"ScrShotAppOnly", B, "False"}, {"ScrShotSendAs", T, "screenshot.png"},
    {"ScrShotZip", T, ""}, {"AddAttachs", T, ""}, {"BugRepFile", T, "bugreport.txt"},
    {"AppendBugReps", B, "True"}, {"BugRepFileSize", I, "100000"}, {"NoDupExcepts", B, "True"},
    {"NoDupFreezes", B, "True"}, {"DupExceptDef", E, "1"}, {"DupFreezeDef", E, "2"},
    {"ListThreads", B, "True"}, {"CpuRegs", B, "True"}, {"StackDump", B, "True"}, {"ShowDisAsm", B, "True"},
    {"HideUglyItems", B, "False"}, {"ShowRelAddrs", B, "True"}, {"ShowRelLines", B, "True"},
    {"FormatDisAsm", B, "False"}, {"LimitDisAsm", I, "5"}, {"Plugins", T, "modules|processes|hardware"},
    {"F1Classes", T, "EDBEditError"}, {"F1NoBugRep", B, "True"}, {"F1NoScrShot", B, "True"},
    {"F1NoHandlers", B, "True"}, {"F1NoSuspend", B, "True"}, {"F1ShowCfg", E, "3"}, {"F1Assis", T, ""},
    {"F2Classes", T, ""}, {"F2NoBugRep", B, "False"}, {"F2NoScrShot", B, "False"},
    {"F2NoHandlers", B, "False"}, {"F2NoSuspend", B, "False"}, {"F2ShowCfg", E, "0"}, {"F2Assis", T, ""},
    {"GnNoBugRep", B, "False"}, {"GnNoScrShot", B, "False"}, {"GnNoHandlers", B, "False"},
    {"GnNoSuspend", B, "False"}, {"GnShowCfg", E, "0"}, {"GnAssis", T, ""},
    {"Assistant1", T, "SendAssistant|Send Assistant|ContactForm|DetailsForm|ScrShotForm"},
    {"Assistant2", T, "SaveAssistant|Save Assistant|ContactForm|DetailsForm"},
    {"Assistant3", T, "PrintAssistant|Print Assistant|ContactForm|DetailsForm"}, {"TitleBar", T, "%appname%"},
    {"ExceptMsg", T, "An error occurred in the application."},
    {"FrozenMsg", T, "The application seems to be frozen."},
    {"BitFaultMsg", T, "The file \"%modname%\" seems to be corrupt!"}, {"SendBtnTxt", T, "send bug report"},
    {"SaveBtnTxt", T, "save bug report"}, {"PrintBtnTxt", T, "print bug report"},
    {"ShowBtnTxt", T, "show bug report"}, {"ContinueBtnTxt", T, "continue application"},
    {"RestartBtnTxt", T, "restart application"}, {"CloseBtnTxt", T, "close application"},
    {"OkBtnTxt", T, "&OK"}, {"DetailsBtnTxt", T, "&Details"}, {"PlWaitTitle", T, "Information"},
    {"PlWaitText", T, "Please wait a moment..."}, {"MailSubj", T, "bug report"},
    {"MailBody", T, "please find the bug report attached"}, {"SendBoxTitle", T, "Sending bug report..."},
    {"PrepAttMsg", T, "Preparing attachments..."}, {"MxLookMsg", T, "Searching for mail server..."},
    {"ConnMsg", T, "Connecting to server..."}, {"AuthMsg", T, "Authentication..."},
    {"SendMailMsg", T, "Sending mail..."}, {"FieldMsg", T, "Setting fields..."},
    {"SendAttMsg", T, "Sending attachments..."}, {"SendFinalMsg", T, "Finalizing..."},
    {"SendFailMsg", T, "Sorry, sending the bug report didn't work."},
};
// clang-format on

TEST(CrashSettings, EveryStoredKeyReadsBackWithItsTypeAndValue) {
    auto stored = StoredTable();
    TIMESettings settings(stored);
    for (const TExpected& e : kProgramSettings) {
        SCOPED_TRACE(e.Key);
        TSettingValue value = settings.Get(e.Key);
        ASSERT_EQ(value.Type, e.Type);
        switch (e.Type) {
            case TSettingType::stBoolean:
                EXPECT_EQ(settings.GetBoolean(e.Key), std::string(e.Value) == "True");
                break;
            case TSettingType::stInteger:
                EXPECT_EQ(settings.GetInteger(e.Key), std::stoll(e.Value));
                break;
            case TSettingType::stEnum:
                EXPECT_EQ(settings.GetEnum(e.Key), std::stoi(e.Value));
                break;
            case TSettingType::stText:
                EXPECT_EQ(settings.GetText(e.Key), Utf8ToUnicode(e.Value));
                break;
        }
    }
    // Nothing else is stored.
    std::set<std::string> expectedKeys;
    for (const TExpected& e : kProgramSettings) expectedKeys.insert(e.Key);
    for (const auto& [key, value] : stored->Entries())
        EXPECT_EQ(expectedKeys.erase(key), 1u) << "unexpected stored key " << key;
    for (const std::string& key : expectedKeys) ADD_FAILURE() << "key not stored: " << key;
}

TEST(CrashSettings, KeysTheStoredListLacksTakeTheBuiltInDefaults) {
    auto stored = StoredTable();
    TIMESettings settings(stored);
    for (const char* key : {"AutoDelay", "MinDebugInfo", "AddFields", "MailFrom"})
        EXPECT_EQ(stored->Find(key), nullptr) << key;
    EXPECT_EQ(settings.GetInteger("AutoDelay"), 60);
    EXPECT_EQ(settings.GetText("MinDebugInfo"), u"");
    EXPECT_EQ(settings.GetText("AddFields"), u"");
    EXPECT_EQ(settings.GetText("MailFrom"), u"");
    // A stored value wins over a built-in default.
    TIMESettings own(std::make_shared<TSettingsTable>(TSettingsTable::Parse("AutoDelay=int:5\n")));
    EXPECT_EQ(own.GetInteger("AutoDelay"), 5);
}

TEST(CrashSettings, UnknownKeysAndWrongTypesAreErrors) {
    TIMESettings settings(StoredTable());
    try {
        settings.GetBoolean("NoSuchKey");
        ADD_FAILURE() << "unknown key accepted";
    } catch (const EUnknownSettingError& e) {
        EXPECT_STREQ(e.ClassName(), "EUnknownSettingError");
        EXPECT_EQ(e.Message(), "Unknown crash reporter setting \"NoSuchKey\"");
    }
    EXPECT_THROW(settings.Get(""), EUnknownSettingError);
    EXPECT_THROW(settings.Assistant(4), EUnknownSettingError);
    try {
        settings.GetText("Enabled");
        ADD_FAILURE() << "boolean read as text";
    } catch (const ESettingTypeError& e) {
        EXPECT_EQ(e.Message(), "Setting \"Enabled\" is bool, not text");
    }
    EXPECT_THROW(settings.GetInteger("FocusedBtn"), ESettingTypeError);
    EXPECT_THROW(settings.GetEnum("SmtpPort"), ESettingTypeError);
    EXPECT_THROW(settings.GetBoolean("MailFrom"), ESettingTypeError);
}

TEST(CrashSettings, KeysIgnoreLetterCase) {
    TIMESettings settings(StoredTable());
    EXPECT_EQ(settings.GetInteger("bugrepfilesize"), 100000);
    EXPECT_EQ(settings.GetInteger("AUTODELAY"), 60);
}

TEST(CrashSettings, ListSettingsSplitAtBars) {
    TIMESettings settings(StoredTable());
    using L = std::vector<UString>;
    EXPECT_EQ(settings.Plugins(), (L{u"modules", u"processes", u"hardware"}));
    EXPECT_EQ(settings.Assistant(1),
              (L{u"SendAssistant", u"Send Assistant", u"ContactForm", u"DetailsForm", u"ScrShotForm"}));
    EXPECT_EQ(settings.Assistant(2),
              (L{u"SaveAssistant", u"Save Assistant", u"ContactForm", u"DetailsForm"}));
    EXPECT_EQ(settings.Assistant(3),
              (L{u"PrintAssistant", u"Print Assistant", u"ContactForm", u"DetailsForm"}));
    EXPECT_EQ(settings.GetList("AddAttachs"), L{});

    TIMESettings odd(std::make_shared<TSettingsTable>(TSettingsTable::Parse("Plugins=text:|a||b|\n")));
    EXPECT_EQ(odd.Plugins(), (L{u"", u"a", u"", u"b", u""}));
}

TEST(CrashSettings, FailureOverridesStayWithThatFailure) {
    TIMESettings module(StoredTable());
    TFailureSettings first(module);
    TFailureSettings second(module);
    first.SetBoolean("AutoShowBugRep", true);
    first.SetInteger("autorestart", 1);
    first.SetEnum("GnShowCfg", 2);
    first.SetText("MailFrom", u"me@example.org");
    first.SetText("MAILFROM", u"you@example.org");

    EXPECT_TRUE(first.GetBoolean("AutoShowBugRep"));
    EXPECT_EQ(first.GetInteger("AutoRestart"), 1);
    EXPECT_EQ(first.GetEnum("GnShowCfg"), 2);
    EXPECT_EQ(first.GetText("MailFrom"), u"you@example.org");
    EXPECT_EQ(first.GetText("MailSubj"), u"bug report");  // not overridden

    for (const TIMESettings* other : {&module, static_cast<TIMESettings*>(&second)}) {
        EXPECT_FALSE(other->GetBoolean("AutoShowBugRep"));
        EXPECT_EQ(other->GetInteger("AutoRestart"), 0);
        EXPECT_EQ(other->GetEnum("GnShowCfg"), 0);
        EXPECT_EQ(other->GetText("MailFrom"), u"");
    }

    EXPECT_THROW(first.SetBoolean("NoSuchKey", true), EUnknownSettingError);
    EXPECT_THROW(first.SetText("Enabled", u"yes"), ESettingTypeError);
    EXPECT_TRUE(first.GetBoolean("Enabled"));
    EXPECT_THROW(first.GetText("NoSuchKey"), EUnknownSettingError);
}

TEST(CrashSettings, StoredTextFormat) {
    auto table = TSettingsTable::Parse(
        "# comment\r\n\r\nA=bool:false\r\nB=int:-12\nC=enum:4\nD=text: x=y:z \n"
        "E=text:\xC3\xA4\xE2\x82\xAC");
    ASSERT_EQ(table.Entries().size(), 5u);
    EXPECT_EQ(*table.Find("a"), TSettingValue::Boolean(false));
    EXPECT_EQ(*table.Find("B"), TSettingValue::Integer(-12));
    EXPECT_EQ(*table.Find("C"), TSettingValue::Enum(4));
    EXPECT_EQ(*table.Find("D"), TSettingValue::OfText(u" x=y:z "));
    EXPECT_EQ(*table.Find("E"), TSettingValue::OfText(u"\u00E4\u20AC"));
    EXPECT_EQ(table.Find("F"), nullptr);
}

TEST(CrashSettings, MalformedStoredLinesAreRefusedWithTheirNumber) {
    const char* bad[] = {"X=bool:yes", "X=int:12a", "X=int:",  "X=enum:-1",         "X=float:1",
                         "X",          "X=text",    "=text:a", "X=text:a\nX=text:b"};
    for (const char* text : bad) {
        SCOPED_TRACE(text);
        EXPECT_THROW(TSettingsTable::Parse(text), ESettingsFormatError);
    }
    try {
        TSettingsTable::Parse("# ok\nA=bool:True\nB=bool:maybe\n");
        ADD_FAILURE() << "bad boolean accepted";
    } catch (const ESettingsFormatError& e) {
        EXPECT_EQ(e.Message(), "Settings line 3 has no boolean value: \"B=bool:maybe\"");
    }
}

TEST(CrashSettings, ProcessObjectNamesEndInTheLowerCaseHexProcessId) {
    EXPECT_EQ(ProcessObjectName(u"TobriskSettingsBuf2", 0x1A4), u"TobriskSettingsBuf2$1a4");
    EXPECT_EQ(ProcessObjectName(u"TobriskSettingsMtx", 0), u"TobriskSettingsMtx$0");
    EXPECT_EQ(ProcessObjectName(u"X", 0xFFFFFFFF), u"X$ffffffff");
}

}  // namespace
}  // namespace qr
