// Building a report against a fake system: the header items in order, each
// left out when its query fails, the thread and plug-in sections, the
// placeholders and the completion.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <regex>
#include <stdexcept>

#include "crashreport/report/ReportBuilder.h"
#include "crashreport/report/ReportLayout.h"

namespace qr {
namespace {

class TFakeReportSystem : public IReportSystem {
public:
    std::set<AnsiString> Failing;  // queries that raise
    AnsiString Client;
    bool Admin = true;
    AnsiString Organization = "Harnwick";
    AnsiString Parameters;
    std::vector<TThreadState> ThreadList;

    void Check(const char* query) {
        if (Failing.count(query)) throw std::runtime_error(query);
    }
    AnsiString ComputerName() override { return Check("computer"), "PRESENTER-PC"; }
    AnsiString RemoteClientName() override { return Client; }
    AnsiString UserName() override { return Check("user"), "anna"; }
    bool UserIsAdministrator() override { return Admin; }
    AnsiString RegisteredOwner() override { return "Anna"; }
    AnsiString RegisteredOrganization() override { return Organization; }
    TOsVersion OperatingSystem() override {
        Check("os");
        TOsVersion os;
        os.Major = 6, os.Minor = 1, os.Build = 7601, os.ServicePack = "Service Pack 1";
        return os;
    }
    AnsiString SystemLanguage() override { return "English"; }
    uint64_t SystemUpTime() override { return 3723000; }
    AnsiString ProcessorName() override { return Check("processor"), "Virtual  CPU"; }
    unsigned ProcessorCount() override { return 2; }
    std::pair<uint64_t, uint64_t> PhysicalMemory() override { return {512ull << 20, 2048ull << 20}; }
    char DecimalSeparator() override { return '.'; }
    TDriveSpace SystemDrive() override { return {'C', 3ull << 30}; }
    std::optional<TDriveSpace> ProgramDrive() override { return TDriveSpace{'D', 1536}; }
    TDisplay DisplayMode() override { return {1024, 768, 32}; }
    uint32_t ProcessId() override { return 0x1a4; }
    uint64_t AllocatedMemory() override { return 5ull << 20; }
    AnsiString CommandLine() override { return Parameters; }
    AnsiString ProgramFileName() override { return "C:\\Program Files\\Quellora\\quellora-remote.exe"; }
    std::optional<TLocalTime> ProgramFileTime() override { return TLocalTime{2024, 3, 1, 10, 0, 0, 0}; }
    AnsiString ProgramVersion() override { return ""; }
    uint32_t CurrentThreadId() override { return 1; }
    std::vector<TThreadState> Threads() override { return ThreadList; }
    // Every stack ends at 0x130000.
    uint64_t StackRangeSize(uint64_t sp) override { return sp ? 0x130000 - sp : 0; }
    TCodeLocation Locate(uint64_t address) override {
        Check("locate");
        return {address, std::nullopt, address < 0x500000 ? "quellora-remote.exe" : "", "", "",
                0,       std::nullopt};
    }
    std::vector<unsigned char> ReadStack(uint64_t, size_t maxBytes) override {
        return std::vector<unsigned char>(std::min<size_t>(maxBytes, 40), 'A');
    }
    std::vector<TModuleLine> Modules() override { return {{0x400000, "quellora-remote.exe", "", "C:\\Q"}}; }
    std::vector<TProcessLine> Processes() override {
        Check("processes");
        return {{0, "", std::nullopt, std::nullopt, std::nullopt, 0, ""}};
    }
    std::vector<TDeviceLine> Hardware() override { return {{"System", "PCI bus", "", "", ""}}; }
    // Walked stacks by thread id, and the context each walk was given.
    std::map<uint32_t, std::vector<TCodeLocation>> Stacks;
    std::map<uint32_t, std::vector<unsigned char>> WalkedContexts;
    // Threads whose stack has gone by the time of their walk.
    std::set<uint32_t> Unreadable;
    struct TUnreadableWalk : TListedStackWalk {
        TUnreadableWalk() : TListedStackWalk({}) {}
        void CollectPossibleStackItems() override { throw EStackNotAccessible("gone"); }
    };
    std::unique_ptr<IStackWalk> StackWalk(uint32_t threadId,
                                          const std::vector<unsigned char>& context) override {
        WalkedContexts[threadId] = context;
        if (Unreadable.count(threadId)) return std::make_unique<TUnreadableWalk>();
        if (!Stacks.count(threadId)) return nullptr;
        std::vector<TStackFrame> frames;
        for (const TCodeLocation& l : Stacks[threadId]) frames.push_back({l.Address, false});
        return std::make_unique<TListedStackWalk>(frames);
    }
    TCodeLocation NameFrame(const TStackFrame& frame) override {
        for (const auto& [id, items] : Stacks)
            for (const TCodeLocation& l : items)
                if (l.Address == frame.Address) return l;
        return Locate(frame.Address);
    }
    AnsiString Listing;
    std::optional<std::pair<uint64_t, int>> ListingAsked;
    AnsiString Disassembling(uint64_t address, int limit) override {
        ListingAsked = {address, limit};
        return Listing;
    }
};

class ReportBuilding : public ::testing::Test {
protected:
    TFakeReportSystem System;
    TBugReport Report;
    TFailure Failure;
    TReportOptions Options;

    void SetUp() override {
        Failure.ExceptClass = "EAccessViolation";
        Failure.ExceptMessage = "Access violation at address 00401234!";
        Failure.Address = 0x401234;
        Failure.ThreadId = 0x20;
        Failure.Time = {2024, 3, 7, 9, 5, 3, 7};
        Failure.ProgramUpTime = 250;
        Failure.Number = 2;
        Failure.HasContext = true;
        Failure.Registers = {{"rax", 1}, {"rip", 0x401234}};
        Failure.StackPointer = 0x12ff00;
        Options.MainThreadId = 0x10;
        Options.HandlerThreadId = 0x30;
        System.ThreadList = {{{0x10, "", ""}, false, 0, true, 0x7ff800001000ull, 0},
                             {{0x20, "", ""}, false, 0, true, 0x401000, 0},
                             {{0x30, "", ""}, false, 0, true, 0x401000, 0},
                             {{0x40, "", ""}, true, 2, true, 0x401100, 0},
                             {{0x50, "", ""}, false, 0, false, 0x401200, 0},
                             {{0x60, "", ""}, false, 0, true, 0x401300, 0}};
    }
    std::vector<AnsiString> Names(const TIMEFields& fields) {
        std::vector<AnsiString> names;
        for (const auto& f : fields.Items()) names.push_back(f.first);
        return names;
    }
    TReportBuilder Builder() {
        return TReportBuilder(Report, System, Failure, Options,
                              {{0x10, "main thread", ""}, {0x20, "", "TIdThread"}, {0x60, "-", ""}});
    }
};

TEST_F(ReportBuilding, WalkedStacksGiveTheLinesAndChecksumsAndTheFunctionItsListing) {
    const std::vector<TCodeLocation> failing = {
        {0x401234, 0x34, "quellora-remote.exe", "Main.cpp", "qr::Crash", 20, 2},
        {0x402010, 0x10, "quellora-remote.exe", "Main.cpp", "qr::Caller", 31, 1}};
    const std::vector<TCodeLocation> main = {
        {0x7ff800001000ull, 0x20, "ntdll.dll", "", "NtWait", 0, std::nullopt}};
    System.Stacks = {{0x20, failing}, {0x10, main}, {0x40, {{0x401100, 0, "q.exe", "Q.cpp", "f", 3, 0}}}};
    System.Listing = "qr::Crash  ; function entry point";
    Failure.Context = {1, 2, 3};
    Options.LimitDisAsm = 7;
    TReportBuilder builder = Builder();
    builder.BuildHeader();
    builder.BuildSkeleton();
    EXPECT_EQ(Report.Sections().Get("disassembling"), ">> will be calculated soon");
    EXPECT_TRUE(builder.Complete());

    const TIMEFields& s = Report.Sections();
    EXPECT_EQ(s.Get("thread $20 (TIdThread):"), FormatStackLines(failing, true, true));
    EXPECT_EQ(s.Get("main thread ($10):"), FormatStackLines(main, true, true));
    // The failing thread is walked from the failure's context, the others
    // from their own.
    EXPECT_EQ(System.WalkedContexts[0x20], (std::vector<unsigned char>{1, 2, 3}));
    EXPECT_TRUE(System.WalkedContexts[0x10].empty());
    auto names = [](const std::vector<TCodeLocation>& items) {
        std::vector<TStackItemName> n;
        for (const TCodeLocation& l : items)
            n.push_back(
                {l.Address, l.Address - l.Offset.value_or(l.Address), l.Module, l.Unit, l.Function, l.Line});
        return n;
    };
    const TStackChecksums thread40 = StackChecksums(names(System.Stacks[0x40]));
    // Only the other stacks with a line number count for the third checksum.
    EXPECT_EQ(Report.Header().Get("callstack crc"),
              CallstackCrcText(StackChecksums(names(failing)), {StackChecksums(names(main)), thread40}));
    EXPECT_NE(CallstackCrcText(StackChecksums(names(failing)), {}), CallstackCrcText({}, {}));

    EXPECT_EQ(s.Get("disassembling"), "qr::Crash  ; function entry point");
    EXPECT_EQ(System.ListingAsked, (std::pair<uint64_t, int>{0x401234, 7}));
    // Without a listing the section goes; with ShowDisAsm off it never comes.
    TBugReport second;
    System.Listing.clear();
    TReportBuilder none(second, System, Failure, Options, {});
    none.BuildSkeleton();
    EXPECT_TRUE(none.Complete());
    EXPECT_FALSE(second.Sections().Get("disassembling"));
    Options.ShowDisAsm = false;
    TBugReport third;
    TReportBuilder off(third, System, Failure, Options, {});
    off.BuildSkeleton();
    EXPECT_FALSE(third.Sections().Get("disassembling"));
}

TEST_F(ReportBuilding, ThreadAreasAdvanceInSectionOrderAndCreatorsAreNamed) {
    const std::vector<TCodeLocation> failing = {
        {0x401234, 0x34, "quellora-remote.exe", "Main.cpp", "qr::Crash", 20, 2}};
    System.Stacks = {{0x20, failing}, {0x10, {{0x7ff800001000ull, 0x20, "ntdll.dll", "", "NtWait", 0, {}}}}};
    System.ThreadList[0].StackPointer = 0x12f000;
    System.ThreadList[3].StackPointer = 0x12ff00;
    System.ThreadList[4].StackPointer = 0x12f800;
    TReportBuilder builder(
        Report, System, Failure, Options,
        {{0x10, "main thread", ""}, {0x20, "", "TIdThread", 0x10, 0x40a000}, {0x60, "-", ""}});
    std::vector<std::pair<size_t, int>> seen;
    builder.SetProgress([&](size_t area, int position) { seen.emplace_back(area, position); });
    builder.BuildHeader();
    builder.BuildSkeleton();
    EXPECT_TRUE(seen.empty());
    // The areas' weights: the failing thread from the failure's stack
    // pointer, the others from their own; nothing for a stack that cannot be
    // read.
    EXPECT_EQ(builder.ThreadStackSizes(), (std::vector<uint64_t>{0x100, 0x1000, 0x100, 0}));
    EXPECT_TRUE(builder.Complete());
    // Failing thread, main thread, then $40 (no walk) and $50 (not accessible).
    EXPECT_EQ(seen, (std::vector<std::pair<size_t, int>>{
                        {0, 25}, {0, 650}, {0, 1000}, {1, 25}, {1, 650}, {1, 1000}, {2, 1000}, {3, 1000}}));
    std::vector<TCodeLocation> withPlace = failing;
    withPlace.push_back(System.Locate(0x40a000));
    EXPECT_EQ(Report.Sections().Get("thread $20 (TIdThread):"),
              WithCreatorLine(FormatStackLines(withPlace, true, true), "main thread ($10)"));
    // The main thread has no registered creator.
    EXPECT_EQ(Report.Sections().Get("main thread ($10):")->find(">> created by"), AnsiString::npos);
}

TEST(ReportCounter, CountsFromOnePerOwner) {
    TReportCounter counter, other;
    EXPECT_EQ(counter.Next(), 1u);
    EXPECT_EQ(counter.Next(), 2u);
    EXPECT_EQ(other.Next(), 1u);
}

TEST_F(ReportBuilding, HeaderItemsInOrderWithTheirValues) {
    Builder().BuildHeader();
    EXPECT_EQ(
        Names(Report.Header()),
        (std::vector<AnsiString>{
            "date/time",       "computer name",    "user name",       "registered owner", "operating system",
            "system language", "system up time",   "program up time", "processors",       "physical memory",
            "free disk space", "display mode",     "process id",      "allocated memory", "executable",
            "exec. date/time", "compiled with",    "Tobrisk version", "callstack crc",    "exception number",
            "exception class", "exception message"}));
    const TIMEFields& h = Report.Header();
    EXPECT_EQ(h.Get("user name"), "anna  <admin>");
    EXPECT_EQ(h.Get("registered owner"), "Anna / Harnwick");
    EXPECT_EQ(h.Get("operating system"), "Windows 7 Service Pack 1 build 7601");
    EXPECT_EQ(h.Get("system up time"), "1 hour 2 minutes");
    EXPECT_EQ(h.Get("program up time"), "250 milliseconds");
    EXPECT_EQ(h.Get("processors"), "2x Virtual CPU");
    EXPECT_EQ(h.Get("free disk space"), "(C:) 3.0 GB (D:) 1.5 KB");
    EXPECT_EQ(h.Get("process id"), "$1a4");
    EXPECT_EQ(h.Get("allocated memory"), "5.0 MB");
    EXPECT_EQ(h.Get("executable"), "quellora-remote.exe");
    EXPECT_EQ(h.Get("exec. date/time"), "2024-03-01 10:00");
    EXPECT_EQ(h.Get("Tobrisk version"), "3.0o");
    EXPECT_EQ(h.Get("callstack crc"), "will be calculated soon");
    EXPECT_EQ(h.Get("exception number"), "2");
    EXPECT_EQ(h.Get("exception message"), "Access violation at address 00401234.");
    // Items added later go in front of "Tobrisk version".
    Report.Header().Set("contact name", "Anna");
    EXPECT_EQ(*h.IndexOf("contact name") + 1, *h.IndexOf("Tobrisk version"));
}

TEST_F(ReportBuilding, FailingQueriesAndEmptyValuesLeaveTheirItemsOut) {
    System.Failing = {"computer", "user", "os", "processor"};
    System.Client = "THIN-CLIENT";
    System.Organization = "";
    System.Parameters = "\"C:\\q.exe\" /x";
    Failure.ExceptClass = "";
    Failure.ExceptMessage.reset();
    Builder().BuildHeader();
    const TIMEFields& h = Report.Header();
    for (const char* gone :
         {"computer name", "user name", "operating system", "processor", "processors", "exception message"})
        EXPECT_FALSE(h.Get(gone)) << gone;
    EXPECT_EQ(h.Get("wts client name"), "THIN-CLIENT");
    EXPECT_EQ(h.Get("registered owner"), "Anna");
    EXPECT_EQ(h.Get("command line"), "\"C:\\q.exe\" /x");
    EXPECT_EQ(h.Get("exception class"), "Unknown");
    // A message equal to the class name is not repeated.
    TBugReport other;
    Failure.ExceptClass = "EAbort";
    Failure.ExceptMessage = "EAbort";
    TReportBuilder(other, System, Failure, Options, {}).BuildHeader();
    EXPECT_FALSE(other.Header().Get("exception message"));
}

TEST_F(ReportBuilding, MessagesArriveInTheCodePageAsThemselves) {
    // The program's errors carry UTF-8; the report is in the code page.
    Failure.ExceptMessage =
        "Gr\xc3\xb6\xc3\x9f"
        "e \"Lautst\xc3\xa4rke hoch\" \xe2\x82\xac";
    Builder().BuildHeader();
    EXPECT_EQ(Report.Header().Get("exception message"),
              "Gr\xf6\xdf"
              "e \"Lautst\xe4rke hoch\" \x80.");
    EXPECT_EQ(AnsiToUnicode(*Report.Header().Get("exception message")),
              u"Gr\u00f6\u00dfe \"Lautst\u00e4rke hoch\" \u20ac.");
}

TEST_F(ReportBuilding, SkeletonThenCompletionInOrder) {
    TReportBuilder builder = Builder();
    builder.BuildHeader();
    builder.BuildSkeleton();
    // Failing thread, main thread, then the others without the handler thread
    // and the thread named "-".
    EXPECT_EQ(Names(Report.Sections()),
              (std::vector<AnsiString>{
                  "thread $20 (TIdThread):", "main thread ($10):", "thread $40: <suspended> <priority:2>",
                  "thread $50:", "modules", "processes", "hardware", "cpu registers", "stack dump",
                  "disassembling"}));
    const int digits = kAddressDigits;
    const AnsiString failingLine =
        std::string(size_t(digits) - 6, '0') + "401234 +0 quellora-remote.exe  ???";
    EXPECT_EQ(Report.Sections().Get("thread $20 (TIdThread):"),
              failingLine + "\r\n>> stack will be calculated soon");
    EXPECT_EQ(Report.Sections().Get("modules"), ">> will be calculated soon");
    EXPECT_EQ(Report.Sections().Get("thread $50:"), ">> stack not accessible");
    EXPECT_FALSE(Report.Complete());

    System.Failing = {"processes"};
    EXPECT_TRUE(builder.Complete());
    EXPECT_TRUE(Report.Complete());
    const TIMEFields& s = Report.Sections();
    EXPECT_EQ(s.Get("thread $20 (TIdThread):"), failingLine);
    EXPECT_EQ(s.Get("processes"), ">> internal error in plugin");
    EXPECT_EQ(s.Get("hardware"), "+ System\r\n  - PCI bus");
    EXPECT_TRUE(s.Get("cpu registers")->starts_with("rax = 0"));
    const AnsiString dump = s.Get("stack dump").value_or("");
    EXPECT_EQ(std::count(dump.begin(), dump.end(), '\n'), 2);
    // The failing thread's single item: its address; no other stack has lines.
    EXPECT_EQ(Report.Header().Get("callstack crc"), "$00401234, $00401234, $00401234");

    const AnsiString text = Report.Text();
    EXPECT_TRUE(
        std::regex_search(text, std::regex("\r\n\r\nthread \\$20 \\(TIdThread\\):\r\n[0-9a-f]+ \\+0 ")));
    EXPECT_EQ(text.find("will be calculated soon"), AnsiString::npos);
}

TEST_F(ReportBuilding, InternalErrorsNameWhereTheyAroseAndGoneStacksSaySo) {
    TReportBuilder builder = Builder();
    builder.BuildSkeleton();
    std::optional<uint64_t> errorAddress = 0x401500;
    builder.SetErrorAddress([&] { return errorAddress; });
    System.Failing = {"processes"};
    System.Unreadable = {0x20, 0x40};
    EXPECT_TRUE(builder.Complete());
    const TIMEFields& s = Report.Sections();
    const AnsiString zeros(size_t(kAddressDigits) - 6, '0');
    EXPECT_EQ(s.Get("processes"),
              ">> internal error in plugin:\r\n" + zeros + "401500 +0 quellora-remote.exe  ???");
    // The failing thread's section still gives the exception location.
    EXPECT_EQ(s.Get("thread $20 (TIdThread):"), ">> stack not accessible, exception location: \r\n" + zeros +
                                                    "401234 +0 quellora-remote.exe  ???");
    EXPECT_EQ(s.Get("thread $40: <suspended> <priority:2>"), ">> stack not accessible");

    // Without a known address the text stands alone.
    TBugReport again;
    TReportBuilder unknown(again, System, Failure, Options, {});
    unknown.BuildSkeleton();
    unknown.SetErrorAddress([] { return std::optional<uint64_t>(); });
    EXPECT_TRUE(unknown.Complete());
    EXPECT_EQ(again.Sections().Get("processes"), ">> internal error in plugin");
}

TEST_F(ReportBuilding, PluginsAreSelectedAndOrderedByTheSetting) {
    Options.Plugins = {"Processes", "nonsense", "extra", "modules"};
    Failure.HasContext = false;
    Options.ListThreads = false;
    std::vector<TReportPlugin> plugins = BuiltInPlugins(System);
    plugins.push_back({"extra", "own text", [] { return AnsiString("line 1\r\n\r\nline 3"); }, true});
    plugins.push_back({"header only", "no section", [] { return AnsiString("x"); }, false});
    Options.Plugins.push_back("header only");
    TReportBuilder builder(Report, System, Failure, Options, {}, plugins);
    builder.BuildSkeleton();
    EXPECT_EQ(Names(Report.Sections()),
              (std::vector<AnsiString>{"thread $20:", "processes", "extra", "modules", "disassembling"}));
    EXPECT_TRUE(builder.Complete());
    EXPECT_NE(Report.Text().find("\r\nextra:\r\nline 1\r\n.\r\nline 3\r\n\r\nmodules:\r\n"),
              AnsiString::npos);
    const std::vector<TReportPlugin> builtIn = BuiltInPlugins(System);
    ASSERT_EQ(builtIn.size(), 3u);
    EXPECT_EQ(builtIn[0].Description, "list of installed hardware");
    EXPECT_EQ(builtIn[1].Description, "list of running processes");
    EXPECT_EQ(builtIn[2].Description, "list of loaded modules");
}

TEST_F(ReportBuilding, AnAbortedCompletionLeavesThePlaceholders) {
    TReportBuilder builder = Builder();
    builder.BuildHeader();
    builder.BuildSkeleton();
    Report.Abort();
    EXPECT_FALSE(builder.Complete());
    EXPECT_FALSE(Report.Complete());
    EXPECT_EQ(Report.Header().Get("callstack crc"), "will be calculated soon");
    EXPECT_EQ(Report.Sections().Get("modules"), ">> will be calculated soon");
}

TEST_F(ReportBuilding, OnlyTheFailingThreadWithoutListThreadsAndNoContextSections) {
    Options.ListThreads = false;
    Failure.HasContext = false;
    Failure.ThreadId = 0x10;  // the main thread failed
    System.Failing = {"locate"};
    TReportBuilder builder = Builder();
    builder.BuildSkeleton();
    EXPECT_EQ(Names(Report.Sections()), (std::vector<AnsiString>{"main thread ($10):", "modules", "processes",
                                                                 "hardware", "disassembling"}));
    // Without a name for the address: the address alone.
    EXPECT_TRUE(Report.Sections().Get("main thread ($10):")->find(" +0 ???\r\n") != AnsiString::npos);
}

}  // namespace
}  // namespace qr
