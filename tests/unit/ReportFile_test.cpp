// The report file: its name, the collapsing of repeated failures, the size
// limit, the fallback place and damaged or hostile file content.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "crashreport/settings/Settings.h"
#include "crashreport/settings/StoredSettings.h"
#include "crashreport/report/BugReport.h"
#include "crashreport/report/ReportBuilder.h"
#include "crashreport/report/ReportFile.h"
#include "crashreport/report/ReportLayout.h"

namespace qr {
namespace {

const char* const kCrcA = "$0c468f5b, $a8ac7c9d, $f360cf71";

struct TReportShape {
    AnsiString Crc = kCrcA;
    AnsiString Class = "EAccessViolation";
    AnsiString Executable = "quellora-remote.exe";
    AnsiString ExecTime = "2024-03-01 10:00";
    AnsiString Time = "2024-03-07, 09:05:03, 7ms";
    size_t Size = 0;  // padded with a section to this size (with the two CR LF)
};

AnsiString Report(const TReportShape& shape = {}) {
    std::vector<TReportField> header = {{"date/time", shape.Time},           {"executable", shape.Executable},
                                        {"exec. date/time", shape.ExecTime}, {"Tobrisk version", "3.0o"},
                                        {"callstack crc", shape.Crc},        {"exception number", "1"}};
    if (!shape.Class.empty()) header.emplace_back("exception class", shape.Class);
    AnsiString text = ComposeReportText(header, {{"modules", "00400000 quellora-remote.exe"}});
    if (shape.Size > text.size() + 4 + 2) text += "\r\n" + AnsiString(shape.Size - text.size() - 4 - 2, 'x');
    return text;
}

size_t Count(const AnsiString& text, std::string_view what) {
    size_t n = 0;
    for (size_t p = text.find(what); p != AnsiString::npos; p = text.find(what, p + 1)) ++n;
    return n;
}

// Reports are counted by their first line.
size_t Reports(const AnsiString& text) {
    size_t n = text.starts_with("date/time") ? 1 : 0;
    return n + Count(text, "\ndate/time");
}

// The report as a save of its failure's `count`th occurrence writes it.
AnsiString WithCountLine(const AnsiString& report, int count) {
    AnsiString out = report;
    const size_t crc = out.find("callstack crc");
    out.insert(out.find("\r\n", crc) + 2, "count             : " + std::to_string(count) + "\r\n");
    return out;
}

AnsiString Edit(std::string_view old, std::string_view report, const TReportFileRules& rules = {}) {
    return EditReportFile(old, false, old.size(), report, rules);
}

TEST(ReportFileName, MadeAbsoluteAgainstTheProgramAndFolded) {
    const UString program = u"C:\\Program Files\\Quellora\\quellora-remote.exe";
    EXPECT_EQ(AbsoluteReportFileName(u"bugreport.txt", program),
              u"C:\\Program Files\\Quellora\\bugreport.txt");
    EXPECT_EQ(AbsoluteReportFileName(u"\\logs\\bug.txt", program), u"C:\\logs\\bug.txt");
    EXPECT_EQ(AbsoluteReportFileName(u"D:\\a\\.\\b\\..\\c\\bug.txt", program), u"D:\\a\\c\\bug.txt");
    EXPECT_EQ(AbsoluteReportFileName(u"..\\reports/./x.txt", program), u"C:\\Program Files\\reports\\x.txt");
    EXPECT_EQ(AbsoluteReportFileName(u"\\\\server\\share\\bug.txt", program), u"\\\\server\\share\\bug.txt");
    // The drive itself is never folded away.
    EXPECT_EQ(AbsoluteReportFileName(u"C:\\..\\..\\bug.txt", program), u"C:\\..\\..\\bug.txt");
    EXPECT_EQ(AbsoluteReportFileName(u"bug.txt", u"/opt/q/prog"), u"\\opt\\q\\bug.txt");
}

TEST(ReportFileName, TheProgramsSettings) {
    TIMESettings settings(
        std::make_shared<const TSettingsTable>(TSettingsTable::Parse(EmbeddedSettingsText())));
    TReportFileRules rules = ReportFileRulesFrom(settings);
    EXPECT_TRUE(rules.Append);
    EXPECT_EQ(rules.SizeLimit, 100000);
    EXPECT_TRUE(rules.NoDupExcepts && rules.NoDupFreezes);
    EXPECT_EQ(rules.DupExceptDef, 1);
    EXPECT_EQ(rules.DupFreezeDef, 2);
    EXPECT_EQ(settings.GetText("BugRepFile"), u"bugreport.txt");
    TReportOptions options = ReportOptionsFrom(settings, 1, 2);
    EXPECT_TRUE(options.ListThreads && options.CpuRegs && options.StackDump);
    EXPECT_TRUE(options.ShowRelAddrs && options.ShowRelLines);
    EXPECT_EQ(options.Plugins, (std::vector<AnsiString>{"modules", "processes", "hardware"}));
}

TEST(ReportFileName, NamedLineValues) {
    AnsiString text = "date/time      : now\r\ncount: 5\r\ncountdown : 7\r\ncount : 6\r\nexec. x\r\n";
    EXPECT_EQ(NamedLineValue(text, "date/time"), "now");
    EXPECT_EQ(NamedLineValue(text, "count"), "5");  // the first line that begins with the name
    EXPECT_FALSE(NamedLineValue(text, "countdown x"));
    EXPECT_FALSE(NamedLineValue(text, "exec."));  // first non-blank after the name is no ":"
    EXPECT_EQ(NamedLineValue("a:", "a"), "");
    EXPECT_EQ(NamedLineValue("a :x", "a"), "");
    EXPECT_FALSE(NamedLineValue(" a : 1", "a"));
}

TEST(ReportFileEdit, TheSameFailureCollapsesWithACountThatGrows) {
    AnsiString file = Edit("", Report());
    EXPECT_EQ(file, Report() + "\r\n\r\n");
    file = Edit(file, Report());
    EXPECT_EQ(Reports(file), 1u);
    EXPECT_NE(file.find("callstack crc    : " + AnsiString(kCrcA) + "\r\ncount            : 2\r\n"),
              AnsiString::npos);
    file = Edit(file, Report());
    EXPECT_EQ(Reports(file), 1u);
    EXPECT_EQ(NamedLineValue(file, "count"), "3");
    EXPECT_TRUE(file.ends_with("\r\n\r\n"));
    EXPECT_EQ(Count(file, "count"), 1u);
}

TEST(ReportFileEdit, OnlyTheSameFailureCollapses) {
    const AnsiString first = Edit("", Report());
    TReportShape other;
    other.Class = "EConvertError";
    EXPECT_EQ(Reports(Edit(first, Report(other))), 2u);
    other = {};
    other.ExecTime = "2024-03-02 10:00";  // a newer program file
    EXPECT_EQ(Reports(Edit(first, Report(other))), 2u);
    other = {};
    other.Executable = "other.exe";
    EXPECT_EQ(Reports(Edit(first, Report(other))), 2u);
    // The third checksum is not part of the key.
    other = {};
    other.Crc = "$0c468f5b, $a8ac7c9d, $00000000";
    EXPECT_EQ(Reports(Edit(first, Report(other))), 1u);
    other.Crc = "$0c468f5b, $00000000, $00000000";
    EXPECT_EQ(Reports(Edit(first, Report(other))), 2u);
    TReportFileRules rules;
    rules.DupExceptDef = 0;
    EXPECT_EQ(Reports(Edit(first, Report(other), rules)), 1u);
    rules.NoDupExcepts = false;
    EXPECT_EQ(Reports(Edit(first, Report(), rules)), 2u);
    // Reports without an exception class follow the freeze settings: all three.
    TReportShape freeze;
    freeze.Class = "";
    const AnsiString frozen = Edit("", Report(freeze));
    freeze.Crc = "$0c468f5b, $a8ac7c9d, $00000000";
    EXPECT_EQ(Reports(Edit(frozen, Report(freeze))), 2u);
    freeze.Crc = kCrcA;
    EXPECT_EQ(Reports(Edit(frozen, Report(freeze))), 1u);
    // "will be calculated soon" is no key.
    TReportShape incomplete;
    incomplete.Crc = "will be calculated soon";
    const AnsiString soon = Edit("", Report(incomplete));
    EXPECT_EQ(Reports(Edit(soon, Report(incomplete))), 2u);
}

TEST(ReportFileEdit, TheNewestSameReportIsReplacedOthersStay) {
    TReportShape other;
    other.Class = "EConvertError";
    AnsiString file = Edit("", Report());
    file = Edit(file, Report(other));
    file = Edit(file, Report());
    ASSERT_EQ(Reports(file), 2u);
    // The converted-error report now comes first, the counted one last.
    EXPECT_LT(file.find("EConvertError"), file.find("count"));
    file = Edit(file, Report(other));
    EXPECT_EQ(Count(file, "count"), 2u);
    EXPECT_EQ(Reports(file), 2u);
}

TEST(ReportFileEdit, AFileOverTheLimitKeepsLessThanThreeQuartersOfIt) {
    AnsiString old;
    for (int i = 0; i < 11; ++i) {
        TReportShape shape;
        shape.Class = "E" + std::to_string(i);
        shape.Size = 10000;
        old += Report(shape) + "\r\n\r\n";
    }
    ASSERT_EQ(old.size(), 110000u);
    AnsiString file = Edit(old, Report());
    // 7 reports of 10,000 bytes are kept: 8 would not fit below 75,000.
    EXPECT_TRUE(file.starts_with("date/time"));
    EXPECT_EQ(NamedLineValue(file, "exception class"), "E4");
    EXPECT_EQ(Reports(file), 8u);
    EXPECT_EQ(file, old.substr(40000) + Report() + "\r\n\r\n");
    // Exactly at the limit nothing is dropped.
    EXPECT_EQ(Reports(Edit(old.substr(10000), Report())), 11u);
}

// A report whose sections hold what the user typed (error details) or
// what a plug-in or a message brought along.
AnsiString ReportWithText(const AnsiString& details, const AnsiString& message = "Plain.",
                          const AnsiString& crc = kCrcA) {
    std::vector<TReportField> header = {{"date/time", "2024-05-02, 10:00:00, 1ms"},
                                        {"executable", "quellora-remote.exe"},
                                        {"version", "1.0.0.0"},
                                        {"callstack crc", crc},
                                        {"exception class", "EButtonFailure"},
                                        {"exception message", message}};
    return ComposeReportText(header,
                             {{"modules", "00400000 quellora-remote.exe"}, {"error details", details}});
}

TEST(ReportFileEdit, UserTextInSectionsIsNeverReadAsReportStructure) {
    const AnsiString details =
        "date/time : 2024-04-30\r\ncount: 500\r\n\r\ndate/time         : 2024-04-29\r\n"
        "callstack crc : $99999999, $99999999, $99999999\r\nexecutable : other.exe\r\nversion : 9";
    const AnsiString report = ReportWithText(details, "date/time : x count : 7");
    AnsiString file = Edit("", report);
    file = Edit(file, report);
    EXPECT_EQ(Count(file, "date/time         : 2024-05-02"), 1u) << file;
    EXPECT_EQ(HeaderValue(file, "count"), "2");
    EXPECT_EQ(file, WithCountLine(report, 2) + "\r\n\r\n");
    file = Edit(file, report);
    EXPECT_EQ(file, WithCountLine(report, 3) + "\r\n\r\n");

    // A report of the same program and class but other checksums, whose
    // section names the new report's checksums, is another failure.
    const AnsiString mentions =
        ReportWithText(AnsiString("callstack crc : ") + kCrcA, "Plain.", "$11111111, $22222222, $33333333");
    file = Edit(Edit("", mentions), ReportWithText("plain"));
    EXPECT_EQ(file.find("count"), AnsiString::npos) << file;
    EXPECT_EQ(Reports(file), 2u);
}

TEST(ReportFileEdit, ASingleOversizedReportIsNeverCut) {
    TReportShape big;
    big.Class = "EOutOfMemory";
    big.Size = 150000;
    AnsiString old = Report(big) + "\r\n\r\n";
    AnsiString file = Edit(old, Report());
    EXPECT_EQ(file, old + Report() + "\r\n\r\n");
}

TEST(ReportFileEdit, WithoutAppendingTheFileHoldsOnlyTheNewReport) {
    TReportFileRules rules;
    rules.Append = false;
    EXPECT_EQ(Edit(Report() + "\r\n\r\n", Report(), rules), Report() + "\r\n\r\n");
}

TEST(ReportFileEdit, DamagedContentNeverLosesTheNewReport) {
    const AnsiString report = Report();
    TReportShape unreadable;
    for (const char* count : {"abc", "99999999999999999999", "-3", "0", "", "4294967297"}) {
        // A report that says it is the same failure but has an unreadable count.
        AnsiString old = Report();
        old.insert(old.find("\r\nexception number") + 2, AnsiString("count            : ") + count + "\r\n");
        AnsiString file = Edit(old + "\r\n\r\n", report);
        EXPECT_EQ(NamedLineValue(file, "count"), "2") << count;
        EXPECT_EQ(Reports(file), 1u) << count;
    }
    const AnsiString hostile[] = {
        // The key without any report start: kept as it is.
        AnsiString("garbage : ") + kCrcA + "\r\nexecutable : quellora-remote.exe\r\n",
        // Binary bytes, NULs and lone CRs around a report.
        AnsiString("\0\0\xff\r\rdate/time\0", 14) + kCrcA + AnsiString("\r\x01\x02", 3),
        // No line break at the end.
        Report(),
        AnsiString("date/time"),
        AnsiString(": ") + kCrcA,
    };
    for (const AnsiString& old : hostile) {
        AnsiString file = Edit(old, report);
        EXPECT_TRUE(
            file.ends_with(report + "\r\n\r\n") ||
            file.ends_with("count            : 2\r\nexception number : 1\r\nexception class  : "
                           "EAccessViolation\r\n\r\nmodules:\r\n00400000 quellora-remote.exe\r\n\r\n"));
        // The new report starts on a line of its own.
        EXPECT_TRUE(file.starts_with("date/time  ") || file.find("\ndate/time  ") != AnsiString::npos);
    }
}

TEST(ReportFileEdit, SeveralMegabytesWithoutReportStartsAndFilesPastTheSaneBound) {
    AnsiString junk(5 * 1024 * 1024, 'z');
    for (size_t i = 0; i < junk.size(); i += 997) junk[i] = '\n';
    // Within the bound: no report start to cut at, so it stays.
    EXPECT_EQ(Edit(junk, Report()).size(), junk.size() + 4 + Report().size() + 4);
    // Past the bound only the tail was read; without a report that fits
    // nothing of it is kept.
    EXPECT_EQ(EditReportFile(junk, true, kReportFileSaneSize + 1, Report(), {}), Report() + "\r\n\r\n");
    // With reports in the tail, those that fit are kept, also without a limit.
    TReportFileRules unlimited;
    unlimited.SizeLimit = 0;
    AnsiString tail = "zzz\r\n\r\n" + Report() + "\r\n\r\n";
    EXPECT_EQ(EditReportFile(tail, true, kReportFileSaneSize * 3, "new", unlimited),
              Report() + "\r\n\r\nnew\r\n\r\n");
}

// In-memory files: folders can be made unwritable, files held open, writes
// made to fail half-way.
class TFakeFiles : public IReportFileSystem {
public:
    std::map<UString, AnsiString> Files;
    std::set<UString> Folders;
    std::set<UString> ReadOnlyFolders;
    bool FailWrites = false;
    std::set<UString> FailWritesTo;
    std::set<UString> Unreadable;
    std::set<UString> Open;

    class TFile : public IReportFile {
    public:
        TFile(TFakeFiles& owner, UString path) : FOwner(owner), FPath(std::move(path)) {}
        ~TFile() override { FOwner.Open.erase(FPath); }
        uint64_t Size() override { return FOwner.Files[FPath].size(); }
        bool ReadTail(uint64_t maxBytes, AnsiString& content) override {
            if (FOwner.Unreadable.count(FPath)) return false;
            const AnsiString& all = FOwner.Files[FPath];
            content = all.size() > maxBytes ? all.substr(all.size() - maxBytes) : all;
            return true;
        }
        bool Replace(std::string_view content) override {
            if (FOwner.FailWrites || FOwner.FailWritesTo.count(FPath)) return false;
            FOwner.Files[FPath] = AnsiString(content);
            return true;
        }

    private:
        TFakeFiles& FOwner;
        UString FPath;
    };

    bool CreateFolders(const UString& folder) override {
        if (ReadOnlyFolders.count(FolderOf(folder))) return false;
        Folders.insert(folder);
        return true;
    }
    std::unique_ptr<IReportFile> OpenExclusive(const UString& path) override {
        if (ReadOnlyFolders.count(FolderOf(path)) || !Folders.count(FolderOf(path)) || Open.count(path))
            return nullptr;
        Open.insert(path);
        Files[path];
        return std::make_unique<TFile>(*this, path);
    }
};

class TFakeSystem : public ISystemQueries {
public:
    UString AppData = u"C:\\Users\\Anna\\AppData\\Roaming";
    UString ProgramFileName() override { return u"C:\\Program Files\\Quellora\\quellora-remote.exe"; }
    std::optional<std::array<uint16_t, 4>> FileVersion(const UString&) override { return std::nullopt; }
    TLocalTime LocalTime() override { return {}; }
    UString ComputerName() override { return u"PC"; }
    UString DesktopFolder() override { return u"C:\\Users\\Anna\\Desktop"; }
    UString UserAppDataFolder() override { return AppData; }
    UString CommonAppDataFolder() override { return u"C:\\ProgramData"; }
};

class ReportFileSave : public ::testing::Test {
protected:
    TFakeFiles Files;
    TFakeSystem System;
    const UString Program = u"C:\\Program Files\\Quellora\\quellora-remote.exe";
    const UString Beside = u"C:\\Program Files\\Quellora\\bugreport.txt";
    const UString Fallback = u"C:\\Users\\Anna\\AppData\\Roaming\\quellora-remote\\bugreport.txt";

    std::optional<UString> Save(const AnsiString& report, UString name = u"bugreport.txt") {
        TReportSaveRequest request;
        request.FileName = std::move(name);
        request.ProgramFileName = Program;
        request.Report = report;
        return SaveReportFile(Files, System, request);
    }
};

TEST_F(ReportFileSave, BesideTheProgramThreeTimesGivesCountThree) {
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Save(Report()), Beside);
    EXPECT_EQ(Reports(Files.Files[Beside]), 1u);
    EXPECT_EQ(NamedLineValue(Files.Files[Beside], "count"), "3");
    EXPECT_TRUE(Files.Open.empty());
}

TEST_F(ReportFileSave, AWriteProtectedOrBusyFolderFallsBackToApplicationData) {
    Files.ReadOnlyFolders.insert(u"C:\\Program Files\\Quellora");
    EXPECT_EQ(Save(Report()), Fallback);
    EXPECT_EQ(Files.Files[Fallback], Report() + "\r\n\r\n");
    Files.ReadOnlyFolders.clear();
    // Held open by somebody else: the fallback again.
    Files.Folders.insert(u"C:\\Program Files\\Quellora");
    Files.Open.insert(Beside);
    EXPECT_EQ(Save(Report()), Fallback);
    EXPECT_EQ(NamedLineValue(Files.Files[Fallback], "count"), "2");
    // A name with a folder has no fallback.
    EXPECT_EQ(Save(Report(), u"reports\\bug.txt"), u"C:\\Program Files\\Quellora\\reports\\bug.txt");
    Files.ReadOnlyFolders.insert(u"C:\\Program Files\\Quellora\\reports");
    EXPECT_FALSE(Save(Report(), u"reports\\bug2.txt"));
    // Neither place: nothing saved.
    Files.ReadOnlyFolders.insert(u"C:\\Users\\Anna\\AppData\\Roaming\\quellora-remote");
    EXPECT_FALSE(Save(Report()));
}

TEST_F(ReportFileSave, AnAutomaticSaveMarksTheReportSaved) {
    TBugReport report;
    report.Header().Set("date/time", "now");
    TReportSaveRequest request;
    request.FileName = u"bugreport.txt";
    request.ProgramFileName = Program;
    request.Automatic = false;
    request.AskFileName = [](const UString&) { return std::optional<UString>(u"C:\\mine.txt"); };
    EXPECT_TRUE(SaveBugReport(report, Files, System, request));
    EXPECT_FALSE(report.Saved());
    Files.FailWrites = true;
    request.Automatic = true;
    EXPECT_FALSE(SaveBugReport(report, Files, System, request));
    EXPECT_FALSE(report.Saved());
    Files.FailWrites = false;
    EXPECT_EQ(SaveBugReport(report, Files, System, request), Beside);
    EXPECT_TRUE(report.Saved());
    EXPECT_EQ(Files.Files[Beside], "date/time : now\r\n\r\n");
}

TEST_F(ReportFileSave, AFailedWriteLeavesTheOldContentAndTheReportGoesToTheFallback) {
    ASSERT_TRUE(Save(Report()));
    const AnsiString before = Files.Files[Beside];
    Files.FailWritesTo.insert(Beside);
    EXPECT_EQ(Save(Report()), Fallback);
    EXPECT_EQ(Files.Files[Beside], before);
    EXPECT_EQ(Files.Files[Fallback], Report() + "\r\n\r\n");
    Files.FailWrites = true;
    EXPECT_FALSE(Save(Report()));
    EXPECT_EQ(Files.Files[Beside], before);
    EXPECT_TRUE(Files.Open.empty());
}

TEST_F(ReportFileSave, AnUnreadableOldFileIsKeptAndTheReportGoesToTheFallback) {
    ASSERT_TRUE(Save(Report()));
    const AnsiString before = Files.Files[Beside];
    Files.Unreadable.insert(Beside);
    TReportShape other;
    other.Class = "EConvertError";
    EXPECT_EQ(Save(Report(other)), Fallback);
    EXPECT_EQ(Files.Files[Beside], before);
    EXPECT_EQ(Files.Files[Fallback], Report(other) + "\r\n\r\n");
    EXPECT_TRUE(Files.Open.empty());
}

TEST_F(ReportFileSave, AFileFarPastTheBoundKeepsOnlyWhatFits) {
    Files.Folders.insert(u"C:\\Program Files\\Quellora");
    AnsiString huge(kReportFileSaneSize + 4096, '\0');
    TReportShape old;
    old.Class = "EOld";
    huge += "\r\n\r\n" + Report(old) + "\r\n\r\n";
    Files.Files[Beside] = huge;
    EXPECT_EQ(Save(Report()), Beside);
    EXPECT_EQ(Files.Files[Beside], Report(old) + "\r\n\r\n" + Report() + "\r\n\r\n");
}

TEST_F(ReportFileSave, InteractiveSavesAskForTheNameAndWriteNothingWhenCancelled) {
    TReportSaveRequest request;
    request.FileName = u"bugreport.txt";
    request.ProgramFileName = Program;
    request.Report = Report();
    request.Automatic = false;
    UString suggested;
    request.AskFileName = [&](const UString& name) -> std::optional<UString> {
        suggested = name;
        return std::nullopt;
    };
    EXPECT_FALSE(SaveReportFile(Files, System, request));
    EXPECT_EQ(suggested, u"bugreport.txt");
    EXPECT_TRUE(Files.Files.empty());
    request.AskFileName = [](const UString&) { return std::optional<UString>(u"D:\\mine\\.\\report.txt"); };
    EXPECT_EQ(SaveReportFile(Files, System, request), u"D:\\mine\\report.txt");
    EXPECT_EQ(Files.Files[u"D:\\mine\\report.txt"], Report() + "\r\n\r\n");
}

// The real files of this platform, in a fresh temporary folder.
class ReportFileOnDisk : public ::testing::Test {
protected:
    std::filesystem::path Folder;
    void SetUp() override {
        Folder = std::filesystem::temp_directory_path() /
                 ("qr-reportfile-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(Folder);
    }
    void TearDown() override { std::filesystem::remove_all(Folder); }
    static AnsiString Read(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        return AnsiString(std::istreambuf_iterator<char>(in), {});
    }
};

TEST_F(ReportFileOnDisk, CreatesFoldersCollapsesAndFallsBackWhenTheFileIsHeld) {
    auto files = CreateReportFileSystem();
    TFakeSystem system;
    system.AppData = (Folder / "appdata").u16string();
    TReportSaveRequest request;
    request.FileName = u"bugreport.txt";
    request.ProgramFileName = (Folder / "program" / "sub" / "quellora-remote.exe").u16string();
    for (int i = 0; i < 3; ++i) {
        request.Report = Report();
        ASSERT_TRUE(SaveReportFile(*files, system, request));
    }
    const auto beside = Folder / "program" / "sub" / "bugreport.txt";
    AnsiString content = Read(beside);
    EXPECT_EQ(Reports(content), 1u);
    EXPECT_EQ(NamedLineValue(content, "count"), "3");
    EXPECT_FALSE(std::filesystem::exists(beside.string() + ".tmp"));

    // Held open exclusively: the save goes to the application data folder.
    UString besideName = beside.u16string();
    for (char16_t& c : besideName)
        if (c == u'/') c = u'\\';
    auto held = files->OpenExclusive(besideName);
    ASSERT_TRUE(held);
    auto saved = SaveReportFile(*files, system, request);
    ASSERT_TRUE(saved);
    EXPECT_TRUE(std::filesystem::exists(Folder / "appdata" / "quellora-remote" / "bugreport.txt"));
    held.reset();
    EXPECT_EQ(Read(beside), content);
}

// The platform's files, except that reading them fails: a file that opens
// but cannot be read (a failing disk), which no test can make for real.
class TUnreadableFiles : public IReportFileSystem {
public:
    explicit TUnreadableFiles(std::unique_ptr<IReportFileSystem> real, UString unreadable)
        : FReal(std::move(real)), FUnreadable(std::move(unreadable)) {}
    bool CreateFolders(const UString& folder) override { return FReal->CreateFolders(folder); }
    std::unique_ptr<IReportFile> OpenExclusive(const UString& path) override {
        std::unique_ptr<IReportFile> file = FReal->OpenExclusive(path);
        if (!file || path != FUnreadable) return file;
        return std::make_unique<TFile>(std::move(file));
    }

private:
    class TFile : public IReportFile {
    public:
        explicit TFile(std::unique_ptr<IReportFile> real) : FReal(std::move(real)) {}
        uint64_t Size() override { return FReal->Size(); }
        bool ReadTail(uint64_t, AnsiString& content) override {
            content = "half";
            return false;
        }
        bool Replace(std::string_view content) override { return FReal->Replace(content); }

    private:
        std::unique_ptr<IReportFile> FReal;
    };
    std::unique_ptr<IReportFileSystem> FReal;
    UString FUnreadable;
};

TEST_F(ReportFileOnDisk, AnOldFileThatCannotBeReadStaysAndTheReportGoesToTheFallback) {
    TFakeSystem system;
    system.AppData = (Folder / "appdata").u16string();
    TReportSaveRequest request;
    request.FileName = u"bugreport.txt";
    request.ProgramFileName = (Folder / "program" / "quellora-remote.exe").u16string();
    request.Report = Report();
    auto files = CreateReportFileSystem();
    ASSERT_TRUE(SaveReportFile(*files, system, request));
    const auto beside = Folder / "program" / "bugreport.txt";
    const AnsiString before = Read(beside);

    UString besideName = beside.u16string();
    for (char16_t& c : besideName)
        if (c == u'/') c = u'\\';
    TUnreadableFiles unreadable(CreateReportFileSystem(), besideName);
    TReportShape other;
    other.Class = "EConvertError";
    request.Report = Report(other);
    const std::optional<UString> saved = SaveReportFile(unreadable, system, request);
    ASSERT_TRUE(saved);
    EXPECT_NE(*saved, besideName);
    EXPECT_EQ(Read(beside), before);
    EXPECT_EQ(Read(Folder / "appdata" / "quellora-remote" / "bugreport.txt"), Report(other) + "\r\n\r\n");
}

}  // namespace
}  // namespace qr
