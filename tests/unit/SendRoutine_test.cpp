// Sending a report: the attachments made in the temporary folder, the mail
// interface's three answers, the "mailto:" fallback, the failure message,
// and what a send leaves of the report file.
#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "crashreport/settings/Settings.h"
#include "crashreport/settings/StoredSettings.h"
#include "crashreport/send/MailtoLink.h"
#include "crashreport/send/SendRoutine.h"

namespace qr {
namespace {

const UString kProgram = u"C:\\Quellora\\quellora-remote.exe";
const UString kBeside = u"C:\\Quellora\\bugreport.txt";
const UString kTemp = u"C:\\Temp\\quellora-remote.Tobrisk\\";
const UString kAppDataReport = u"C:\\Users\\Anna\\AppData\\Roaming\\quellora-remote\\bugreport.txt";

AnsiString Report(const AnsiString& crc) {
    return "date/time         : 2024-03-07, 09:05:03, 7ms\r\n"
           "executable        : quellora-remote.exe\r\n"
           "callstack crc     : " +
           crc +
           "\r\n"
           "exception class   : EButtonFailure\r\n"
           "exception message : The send button failed.";
}

// Files in memory, the mail interface and the mail program as the test
// sets them, and a record of what the routine did.
class TFakeWorld : public ISendSystem, public IReportFileSystem, public ISystemQueries {
public:
    std::map<UString, AnsiString> Files;
    TMailOutcome MailAnswer = TMailOutcome::Sent;
    std::optional<UString> MailProgram;
    bool ProgramStarts = true;
    UString Temp = kTemp;
    bool CopiesFail = false;  // neither a copy nor a write into one works
    // Runs while the mail is open in the mail program.
    std::function<void()> WhileMailOpen;

    std::vector<TSimpleMail> Mails;
    std::map<UString, AnsiString> FilesAtMail;  // the attachments as the interface saw them
    std::vector<UString> Started;
    std::vector<UString> Boxes;
    std::vector<std::string> Calls;  // the owner's topmost place and the mail program's lookup, in order

    // ISendSystem
    // Relative names are taken against the program's folder, the current
    // folder of a program started from its shortcut.
    static UString Full(const UString& path) {
        return path.size() > 1 && (path[1] == u':' || path[0] == u'\\') ? path : u"C:\\Quellora\\" + path;
    }
    UString TempFolder() override { return Temp; }
    bool FileExists(const UString& path) override { return Files.count(Full(path)) > 0; }
    UString AbsolutePath(const UString& path) override { return Full(path); }
    bool CopyFileOver(const UString& from, const UString& to) override {
        if (CopiesFail || !Files.count(Full(from)) || Full(from) == Full(to)) return false;
        Files[Full(to)] = Files[Full(from)];
        return true;
    }
    void DeleteFileForced(const UString& path) override { Files.erase(Full(path)); }
    std::optional<AnsiString> ReadWholeFile(const UString& path) override {
        if (!Files.count(Full(path))) return std::nullopt;
        return Files[Full(path)];
    }
    bool DeleteFileIfContent(const UString& path, std::string_view content) override {
        auto file = Files.find(Full(path));
        if (file == Files.end() || file->second != content) return false;
        Files.erase(file);
        return true;
    }
    bool WriteNewFile(const UString& path, const std::string& bytes) override {
        Files[Full(path)] = bytes;
        return true;
    }
    TMailOutcome SendSimpleMail(const TSimpleMail& mail) override {
        Mails.push_back(mail);
        for (const TIMEAttachment& a : mail.Attachments) FilesAtMail[a.SendAs] = Files.at(a.File);
        if (WhileMailOpen) WhileMailOpen();
        return MailAnswer;
    }
    void LeaveTopmost() override { Calls.push_back("leave topmost"); }
    std::optional<UString> MailProgramCommand() override {
        Calls.push_back("mail program");
        return MailProgram;
    }
    bool StartProgram(const UString& commandLine) override {
        Started.push_back(commandLine);
        return ProgramStarts;
    }
    void ShowSendFailure(const UString& text) override { Boxes.push_back(text); }

    // IReportFileSystem: the report file routine writes the copy.
    class TFile : public IReportFile {
    public:
        explicit TFile(AnsiString& content) : FContent(content) {}
        uint64_t Size() override { return FContent.size(); }
        bool ReadTail(uint64_t, AnsiString& content) override {
            content = FContent;
            return true;
        }
        bool Replace(std::string_view content) override {
            FContent = AnsiString(content);
            return true;
        }

    private:
        AnsiString& FContent;
    };
    bool CreateFolders(const UString&) override { return true; }
    std::unique_ptr<IReportFile> OpenExclusive(const UString& path) override {
        if (CopiesFail && path.starts_with(Temp)) return nullptr;
        return std::make_unique<TFile>(Files[Full(path)]);
    }

    // ISystemQueries
    UString ProgramFileName() override { return kProgram; }
    std::optional<std::array<uint16_t, 4>> FileVersion(const UString&) override { return std::nullopt; }
    TLocalTime LocalTime() override { return {2024, 3, 7, 9, 5, 3, 7}; }
    UString ComputerName() override { return u"PC"; }
    UString DesktopFolder() override { return u"C:\\Users\\Anna\\Desktop"; }
    UString UserAppDataFolder() override { return u"C:\\Users\\Anna\\AppData\\Roaming"; }
    UString CommonAppDataFolder() override { return u"C:\\ProgramData"; }
};

class TRecordedProgress : public ISendProgress {
public:
    std::vector<std::string> Calls;
    void Show(const UString& title, const char16_t* picture, const TProgressAreas& areas,
              bool activate) override {
        std::string call = "show " + UnicodeToUtf8(title) + " " + UnicodeToUtf8(picture);
        for (const TProgressArea& a : areas.Areas())
            call += " [" + UnicodeToUtf8(a.Text) + " " + std::to_string(a.Weight) + "]";
        Calls.push_back(call + (activate ? " activated" : " in the corner"));
    }
    void Close() override { Calls.push_back("close"); }
};

class SendRoutine : public ::testing::Test {
protected:
    TFakeWorld World;
    TRecordedProgress Progress;
    TFailureSettings Settings{
        TIMESettings(std::make_shared<const TSettingsTable>(TSettingsTable::Parse(EmbeddedSettingsText())))};
    TScreenshot Shot{3, 2, {0x00ff0000, 0x0000ff00, 0x000000ff, 0x00ffffff, 0, 0x00808080}};
    std::atomic<bool> Sent{false};
    TSendBugReportExRec Request{Report("$11111111, $22222222, $33333333"), &Shot, false, false, false};

    TSendResult Send() { return SendBugReport(Request, Settings, {World, World, World, Progress}, Sent); }
};

TEST_F(SendRoutine, MailInterfaceTakesBothAttachmentsAndTheReportFileGoes) {
    World.Files[kBeside] = Report("$aaaaaaaa, $bbbbbbbb, $cccccccc") + "\r\n\r\n";
    EXPECT_EQ(Send(), TSendResult::Sent);

    ASSERT_EQ(World.Mails.size(), 1u);
    const TSimpleMail& mail = World.Mails[0];
    EXPECT_EQ(mail.Subject, "bug report");
    EXPECT_EQ(mail.Body, "please find the bug report attached");
    EXPECT_TRUE(mail.Recipients.empty());
    EXPECT_TRUE(mail.Interactive);
    ASSERT_EQ(mail.Attachments.size(), 2u);
    EXPECT_EQ(mail.Attachments[0].File, kTemp + u"bugreport.txt");
    EXPECT_EQ(mail.Attachments[0].SendAs, u"bugreport.txt");
    EXPECT_EQ(mail.Attachments[1].File, kTemp + u"screenShot.png");
    EXPECT_EQ(mail.Attachments[1].SendAs, u"screenshot.png");
    // The copy holds the old report and, appended, the current one.
    EXPECT_EQ(World.FilesAtMail[u"bugreport.txt"],
              Report("$aaaaaaaa, $bbbbbbbb, $cccccccc") + "\r\n\r\n" + Request.Report + "\r\n\r\n");
    EXPECT_TRUE(World.FilesAtMail[u"screenshot.png"].starts_with("\x89PNG\r\n\x1a\n"));

    EXPECT_TRUE(Sent.load());
    EXPECT_FALSE(World.FileExists(kBeside));
    EXPECT_TRUE(World.Started.empty());
    EXPECT_TRUE(World.Boxes.empty());
    EXPECT_EQ(Progress.Calls,
              (std::vector<std::string>{
                  "show Sending bug report... MEISEND32 [Preparing attachments... 100] activated", "close"}));
}

TEST_F(SendRoutine, CancelledInTheMailProgramEndsQuietlyAndKeepsTheReportFile) {
    World.Files[kBeside] = Report("$aaaaaaaa, $bbbbbbbb, $cccccccc");
    World.MailAnswer = TMailOutcome::Cancelled;
    World.MailProgram = u"mail.exe %1";
    EXPECT_EQ(Send(), TSendResult::Cancelled);
    EXPECT_FALSE(Sent.load());
    EXPECT_TRUE(World.FileExists(kBeside));
    EXPECT_TRUE(World.Started.empty());
    EXPECT_TRUE(World.Boxes.empty());
}

TEST_F(SendRoutine, FailingOrMissingMailInterfaceFallsBackToTheMailProgram) {
    for (TMailOutcome answer : {TMailOutcome::Failed, TMailOutcome::Unavailable}) {
        World = TFakeWorld();
        Sent = false;
        World.Files[kBeside] = "old";
        World.MailAnswer = answer;
        World.MailProgram = u"\"C:\\Mail\\mail.exe\" -compose \"%1\"";
        EXPECT_EQ(Send(), TSendResult::Sent);
        ASSERT_EQ(World.Started.size(), 1u);
        // The link carries the report itself as text, encoded.
        EXPECT_TRUE(World.Started[0].starts_with(
            u"\"C:\\Mail\\mail.exe\" -compose \"mailto:?subject=bug%20report&body=date/"
            u"time%20%20%20%20%20%20%20%20%20:%202024-03-07,%2009:05:03,%207ms%0D%0Aexecutable"));
        EXPECT_TRUE(World.Started[0].ends_with(u"%20The%20send%20button%20failed.\""));
        EXPECT_TRUE(Sent.load());
        // Only the current report travelled: the file stays.
        EXPECT_EQ(World.Files[kBeside], "old");
        EXPECT_TRUE(World.Boxes.empty());
    }
}

TEST_F(SendRoutine, NothingWorkedShowsTheMessageUnlessSilent) {
    World.Files[kBeside] = "old";
    World.MailAnswer = TMailOutcome::Unavailable;
    EXPECT_EQ(Send(), TSendResult::Failed);
    EXPECT_EQ(World.Boxes, (std::vector<UString>{u"Sorry, sending the bug report didn't work."}));
    EXPECT_FALSE(Sent.load());
    EXPECT_EQ(World.Files[kBeside], "old");
    // Out of the topmost band before the lookup, although no mail program
    // is registered: the box stands in front of the dialog.
    EXPECT_EQ(World.Calls, (std::vector<std::string>{"leave topmost", "mail program"}));

    // A mail program that does not start counts as nothing.
    World.Boxes.clear();
    World.MailProgram = u"mail.exe";
    World.ProgramStarts = false;
    EXPECT_EQ(Send(), TSendResult::Failed);
    EXPECT_EQ(World.Boxes.size(), 1u);

    // Silent: neither a mail program nor a message, nor a progress window.
    World.Boxes.clear();
    World.Started.clear();
    Progress.Calls.clear();
    Request.Silent = true;
    EXPECT_EQ(Send(), TSendResult::Failed);
    EXPECT_TRUE(World.Boxes.empty());
    EXPECT_TRUE(World.Started.empty());
    EXPECT_TRUE(Progress.Calls.empty());
}

TEST_F(SendRoutine, ReportCopyWhenTheFileIsMissingSavedOrElsewhere) {
    // No report file: the copy holds the current report alone, and nothing
    // is deleted afterwards.
    EXPECT_EQ(Send(), TSendResult::Sent);
    EXPECT_EQ(World.FilesAtMail[u"bugreport.txt"], Request.Report + "\r\n\r\n");
    EXPECT_FALSE(World.FileExists(kBeside));

    // Saved already: the copy is the file as it is.
    World = TFakeWorld();
    World.Files[kBeside] = Request.Report + "\r\n\r\n";
    Request.ReportSaved = true;
    EXPECT_EQ(Send(), TSendResult::Sent);
    EXPECT_EQ(World.FilesAtMail[u"bugreport.txt"], Request.Report + "\r\n\r\n");
    EXPECT_FALSE(World.FileExists(kBeside));

    // The file went to the fallback place under application data: that one
    // is attached and deleted.
    World = TFakeWorld();
    World.Files[kAppDataReport] = "earlier\r\n\r\n";
    EXPECT_EQ(Send(), TSendResult::Sent);
    EXPECT_TRUE(World.FilesAtMail[u"bugreport.txt"].starts_with("earlier\r\n\r\n"));
    EXPECT_FALSE(World.FileExists(kAppDataReport));

    // Without DelBugRepFile the file stays after a send.
    World = TFakeWorld();
    World.Files[kBeside] = "earlier";
    Settings.SetBoolean("DelBugRepFile", false);
    EXPECT_EQ(Send(), TSendResult::Sent);
    EXPECT_TRUE(World.FileExists(kBeside));
}

TEST_F(SendRoutine, ScreenshotOnlyWhenThereIsOne) {
    Request.Screenshot = nullptr;  // unticked in the assistant
    World.Files[kTemp + u"screenShot.png"] = "from an earlier send";
    EXPECT_EQ(Send(), TSendResult::Sent);
    ASSERT_EQ(World.Mails.size(), 1u);
    ASSERT_EQ(World.Mails[0].Attachments.size(), 1u);
    EXPECT_EQ(World.Mails[0].Attachments[0].SendAs, u"bugreport.txt");

    // A background send shows its progress in the corner, not activated.
    Progress.Calls.clear();
    Request.InThread = true;
    Send();
    ASSERT_FALSE(Progress.Calls.empty());
    EXPECT_TRUE(Progress.Calls[0].ends_with("in the corner"));
}

TEST_F(SendRoutine, ReportSavedWhileTheMailIsOpenKeepsTheReportFile) {
    const AnsiString before = Report("$aaaaaaaa, $bbbbbbbb, $cccccccc") + "\r\n\r\n";
    World.Files[kBeside] = before;
    // "continue application", and the next failure's automatic save lands
    // in the file while the user still writes the mail.
    World.WhileMailOpen = [&] { World.Files[kBeside] += Report("$dddddddd, $eeeeeeee, $ffffffff"); };
    EXPECT_EQ(Send(), TSendResult::Sent);
    EXPECT_TRUE(Sent.load());
    ASSERT_TRUE(World.FileExists(kBeside));
    EXPECT_EQ(World.Files[kBeside], before + Report("$dddddddd, $eeeeeeee, $ffffffff"));
}

TEST_F(SendRoutine, ReportThatDidNotTravelWholeIsNotSent) {
    // A link cut at the command-line limit carries only the report's start.
    World.MailAnswer = TMailOutcome::Unavailable;
    World.MailProgram = u"mail.exe \"%1\"";
    Request.Report += "\r\n" + AnsiString(40000, 'x');
    EXPECT_EQ(Send(), TSendResult::Sent);
    ASSERT_EQ(World.Started.size(), 1u);
    EXPECT_EQ(World.Started[0].size(), kMaxCommandLine);
    EXPECT_FALSE(Sent.load());
    EXPECT_TRUE(World.Boxes.empty());

    // A mail whose report copy could not be made went without the report.
    World = TFakeWorld();
    Request.Report = Report("$11111111, $22222222, $33333333");
    World.Files[kBeside] = "earlier";
    World.CopiesFail = true;
    EXPECT_EQ(Send(), TSendResult::Sent);
    ASSERT_EQ(World.Mails.size(), 1u);
    ASSERT_EQ(World.Mails[0].Attachments.size(), 1u);
    EXPECT_EQ(World.Mails[0].Attachments[0].SendAs, u"screenshot.png");
    EXPECT_FALSE(Sent.load());
    EXPECT_EQ(World.Files[kBeside], "earlier");
}

TEST_F(SendRoutine, NoTemporaryFolderMeansNoCopiesAndNoDeletion) {
    World.Temp = u"";
    World.Files[kBeside] = "earlier";
    EXPECT_EQ(Send(), TSendResult::Sent);
    ASSERT_EQ(World.Mails.size(), 1u);
    EXPECT_TRUE(World.Mails[0].Attachments.empty());
    EXPECT_EQ(World.Files, (std::map<UString, AnsiString>{{kBeside, "earlier"}}));
    EXPECT_FALSE(Sent.load());  // the report went nowhere
}

TEST_F(SendRoutine, AScreenshotTooLargeForTheMemoryLeftIsLeftOut) {
    World.Files[kBeside] = "earlier";
    TSendEnvironment env{World, World, World, Progress};
    env.EncodeScreenshot = [](const TScreenshot&, int) -> std::string { throw std::bad_alloc(); };
    EXPECT_EQ(SendBugReport(Request, Settings, env, Sent), TSendResult::Sent);
    ASSERT_EQ(World.Mails.size(), 1u);
    ASSERT_EQ(World.Mails[0].Attachments.size(), 1u);
    EXPECT_EQ(World.Mails[0].Attachments[0].SendAs, u"bugreport.txt");
    EXPECT_TRUE(Sent.load());
}

TEST_F(SendRoutine, MailProgramOutsideTheCodePageStartsWithItsOwnPath) {
    World.MailAnswer = TMailOutcome::Unavailable;
    World.MailProgram = u"\"C:\\\u65e5\u672c\\mail.exe\" \"%1\"";
    Request.Report =
        "exception message : Gr\xf6\xdf"
        "e";
    EXPECT_EQ(Send(), TSendResult::Sent);
    ASSERT_EQ(World.Started.size(), 1u);
    EXPECT_TRUE(World.Started[0].starts_with(u"\"C:\\\u65e5\u672c\\mail.exe\" \"mailto:"));
    EXPECT_TRUE(World.Started[0].ends_with(u"Gr\u00f6\u00dfe\""));
    EXPECT_TRUE(Sent.load());
}

TEST_F(SendRoutine, RecipientsAndPlaceholders) {
    auto recipients = MailRecipients(" Anna Berg <anna@x.org> ;b@y.org,,");
    ASSERT_EQ(recipients.size(), 2u);
    EXPECT_EQ(recipients[0].Name, "Anna Berg");
    EXPECT_EQ(recipients[0].Address, "SMTP:anna@x.org");
    EXPECT_EQ(recipients[1].Name, "b@y.org");
    EXPECT_EQ(recipients[1].Address, "SMTP:b@y.org");
    EXPECT_TRUE(MailRecipients(" ; ").empty());

    // With preset recipients a silent send goes without the mail program's window.
    Settings.SetText("MailAddr", u"support@harnwick.example");
    Request.Silent = true;
    Send();
    ASSERT_EQ(World.Mails.size(), 1u);
    EXPECT_FALSE(World.Mails[0].Interactive);
    ASSERT_EQ(World.Mails[0].Recipients.size(), 1u);

    EXPECT_EQ(ExpandMailText(u"%exceptClass%: %exceptMsg%", Request.Report, World),
              "EButtonFailure: The send button failed.");
    EXPECT_EQ(ExpandMailText(u"%bugReport%", "a %LF% b", World), "a %LF% b");
}

}  // namespace
}  // namespace qr
