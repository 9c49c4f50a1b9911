// The large crash dialog's tabs, built from sections written by the
// report's own formatters.
#include <gtest/gtest.h>

#include "crashreport/report/Completion.h"
#include "crashreport/report/SectionFormats.h"
#include "crashreport/report/StackSection.h"
#include "crashreport/report/ThreadNames.h"
#include "crashreport/ui/ReportTabs.h"

namespace qr {
namespace {

using TRow = std::vector<AnsiString>;

std::vector<AnsiString> Captions(const std::vector<TReportTab>& tabs) {
    std::vector<AnsiString> captions;
    for (const TReportTab& tab : tabs) captions.push_back(tab.Caption);
    return captions;
}

AnsiString ThreadName(uint32_t id, const char* name, const char* className, bool suspended = false,
                      int priority = 0) {
    return ThreadSectionName(ThreadDescription({id, name, className}, false), suspended, priority);
}

TEST(ReportTabs, ThreadSectionsAreRecognisedByTheBuildersNames) {
    for (const AnsiString& name :
         {ThreadName(0x1a4, "main thread", ""), ThreadName(0x2b8, "", "TIdThread"), ThreadName(0x2b8, "", ""),
          ThreadName(0x10, "worker: io", "", true, -2), ThreadName(0x10, "", "TFoo", false, 15)}) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(IsThreadSectionName(name));
    }
    for (const char* name : {"cpu registers", "modules", "error details", "main thread", "main thread ($1a4)",
                             "thread $xyz:", "thread $:", "worker ($12) extra:", "main thread ($1a4): <odd>",
                             "($1a4):", "disassembling"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(IsThreadSectionName(name));
    }
}

TEST(ReportTabs, TabsInOrderWithShortNamesAndCallStacksPlural) {
    std::vector<TReportField> header{{"date/time", "2026-12-09"},
                                     {"exception message", "line one\r\nline two"}};
    std::vector<TReportField> sections{{ThreadName(1, "main thread", ""), "00401000 app.exe Main"},
                                       {"cpu registers", "eax = 00000001"},
                                       {ThreadName(2, "", "TIdThread"), "00402000 app.exe Run"},
                                       {"disassembling", "00401000  mov eax, 1"},
                                       {"hardware", "+ Display\r\n  - VGA"}};
    std::vector<TReportTab> tabs = BuildReportTabs(header, sections, {});
    EXPECT_EQ(Captions(tabs),
              (std::vector<AnsiString>{"general", "call stacks", "cpu regs", "disasm", "hardware"}));
    EXPECT_EQ(tabs[0].Columns, (std::vector<AnsiString>{"description", "value"}));
    EXPECT_EQ(tabs[0].Rows,
              (std::vector<TRow>{{"date/time", "2026-12-09"}, {"exception message", "line one line two"}}));

    sections.erase(sections.begin() + 2);
    EXPECT_EQ(BuildReportTabs(header, sections, {})[1].Caption, "call stack");
    EXPECT_EQ(Captions(BuildReportTabs(header, {}, {})), std::vector<AnsiString>{"general"});
}

TEST(ReportTabs, CallStackColumnsAndCellsFollowTheRelativeSettings) {
    TCodeLocation full{0x401000, 0x1c, "app.exe", "MainUnit", "TMainForm.FormCreate", 120, 3};
    TCodeLocation bare{0x7c800000, std::nullopt, "kernel32.dll", "", "", 0, std::nullopt};
    AnsiString main = ThreadName(0x1a4, "main thread", "");
    AnsiString content = FormatStackLines({full, bare}, true, true, 8);
    AnsiString other = ThreadName(0x2b8, "", "TIdThread");

    std::vector<TReportTab> tabs =
        BuildReportTabs({}, {{main, content}, {other, "thread not accessible"}}, {true, true});
    ASSERT_EQ(tabs.size(), 2u);
    EXPECT_EQ(tabs[1].Columns,
              (std::vector<AnsiString>{"address", "rel.", "module", "unit", "line", "rel.", "function"}));
    EXPECT_EQ(tabs[1].Rows,
              (std::vector<TRow>{
                  {">> " + main, "", "", "", "", "", ""},
                  {"00401000", "+1c", "app.exe", "MainUnit", "120", "+3", "TMainForm.FormCreate"},
                  {"7c800000", "+00", "kernel32.dll", "", "", "", "???"},
                  {"", "", "", "", "", "", ""},
                  {">> " + other, "", "", "", "", "", ""},
                  {"thread not accessible", "", "", "", "", "", ""},
              }));

    content = FormatLocationLine(full, false, false, 8);
    tabs = BuildReportTabs({}, {{main, content}}, {});
    EXPECT_EQ(tabs[1].Columns, (std::vector<AnsiString>{"address", "module", "unit", "line", "function"}));
    EXPECT_EQ(tabs[1].Rows[1], (TRow{"00401000", "app.exe", "MainUnit", "120", "TMainForm.FormCreate"}));
}

// Frames without a line number whose function names hold blanks, in a
// stack with and without units, and as a lone location line.
TEST(ReportTabs, CallStackCellsFollowTheLineLayoutNotTheWords) {
    const AnsiString run =
        "std::thread::_State_impl<std::thread::_Invoker<std::tuple<void (*)()> > >::_M_run()";
    const AnsiString terminate = "__cxxabiv1::__terminate(void (*)())";
    const std::vector<TCodeLocation> mixed{
        {0x401000, 0x1c, "app.exe", "Main.cpp", "Crash()", 120, 3},
        {0x402000, 0x8, "app.exe", "", terminate, 0, std::nullopt},
        {0x403000, 0x30, "libstdc++-6.dll", "", run, 0, std::nullopt},
        {0x404000, std::nullopt, "", "", "", 0, std::nullopt},
    };
    const std::vector<TCodeLocation> unitless(mixed.begin() + 1, mixed.begin() + 3);
    const AnsiString main = ThreadName(0x1a4, "main thread", "");
    for (bool rel : {false, true}) {
        SCOPED_TRACE(rel ? "relative columns" : "no relative columns");
        auto cells = [rel](std::initializer_list<const char*> all) {
            // address, rel., module, unit, line, rel., function
            std::vector<AnsiString> row(all.begin(), all.end());
            if (!rel) row.erase(row.begin() + 5), row.erase(row.begin() + 1);
            return row;
        };
        auto rows = [&](const AnsiString& content) {
            std::vector<TReportTab> tabs = BuildReportTabs({}, {{main, content}}, {rel, rel});
            std::vector<TRow> found(tabs.at(1).Rows.begin() + 1, tabs.at(1).Rows.end());
            return found;
        };
        EXPECT_EQ(rows(FormatStackLines(mixed, rel, rel, 8)),
                  (std::vector<TRow>{
                      cells({"00401000", "+1c", "app.exe", "Main.cpp", "120", "+3", "Crash()"}),
                      cells({"00402000", "+08", "app.exe", "", "", "", terminate.c_str()}),
                      cells({"00403000", "+30", "libstdc++-6.dll", "", "", "", run.c_str()}),
                      cells({"00404000", "+00", "", "", "", "", "???"}),
                  }));
        EXPECT_EQ(rows(WithCreatorLine(FormatStackLines(unitless, rel, rel, 8), "main thread ($10)")),
                  (std::vector<TRow>{
                      cells({"00402000", "+08", "app.exe", "", "", "", terminate.c_str()}),
                      cells({">> created by main thread ($10) at:", "", "", "", "", "", ""}),
                      cells({"00403000", "+30", "libstdc++-6.dll", "", "", "", run.c_str()}),
                  }));
        // While the stack is calculated, and for a stack that cannot be read.
        EXPECT_EQ(rows(FormatLocationLine(mixed[2], rel, rel, 8) + "\r\n>> stack will be calculated soon"),
                  (std::vector<TRow>{
                      cells({"00403000", "+30", "libstdc++-6.dll", "", "", "", run.c_str()}),
                      cells({">> stack will be calculated soon", "", "", "", "", "", ""}),
                  }));
        for (const TCodeLocation& lone : mixed) {
            const AnsiString line = FormatLocationLine(lone, rel, rel, 8);
            SCOPED_TRACE(line);
            EXPECT_EQ(rows(">> stack not accessible, exception location: \r\n" + line).at(1),
                      rows(FormatStackLines({lone}, rel, rel, 8)).at(0));
        }
        EXPECT_EQ(rows(FormatLocationLine(mixed[0], rel, rel, 8)).at(0),
                  cells({"00401000", "+1c", "app.exe", "Main.cpp", "120", "+3", "Crash()"}));
    }
}

TEST(ReportTabs, DedicatedSectionsSplitIntoTheirColumns) {
    std::vector<TModuleLine> modules{{0x400000, "app.exe", "1.2.0.0", "C:\\Program Files\\Quellora"},
                                     {0x7c800000, "kernel32.dll", "5.1.2600.5781", "C:\\WINDOWS\\system32"}};
    std::vector<TProcessLine> processes{{0, "", 0, 12, 7, 0, ""},
                                        {0x1a4, "app.exe", 1, 120, 45, 0x8000, "C:\\Program Files\\app.exe"}};
    unsigned char bytes[20] = {'A', 'B', 0, 1};
    std::vector<TReportField> sections{
        {"modules", FormatModules(modules, 8)},
        {"processes", FormatProcesses(processes)},
        {"cpu registers", FormatCpuRegisters({{"eax", 1}, {"eip", 0x401000}}, 8)},
        {"stack dump", FormatStackDump(0x12ff00, bytes, sizeof bytes, 8)},
    };
    std::vector<TReportTab> tabs = BuildReportTabs({}, sections, {});
    ASSERT_EQ(tabs.size(), 5u);

    EXPECT_EQ(tabs[1].Columns, (std::vector<AnsiString>{"handle", "file name", "version", "path"}));
    EXPECT_EQ(tabs[1].Rows,
              (std::vector<TRow>{{"00400000", "app.exe", "1.2.0.0", "C:\\Program Files\\Quellora\\"},
                                 {"7c800000", "kernel32.dll", "5.1.2600.5781", "C:\\WINDOWS\\system32\\"}}));

    EXPECT_EQ(tabs[2].Columns, (std::vector<AnsiString>{"id", "file name", "session", "gdi objects",
                                                        "user objects", "priority", "path"}));
    EXPECT_EQ(tabs[2].Rows[1],
              (TRow{"1a4", "app.exe", "1", "120", "45", "above normal", "C:\\Program Files\\app.exe"}));

    EXPECT_EQ(tabs[3].Caption, "cpu regs");
    EXPECT_EQ(tabs[3].Columns, (std::vector<AnsiString>{"reg.", "content"}));
    EXPECT_EQ(tabs[3].Rows, (std::vector<TRow>{{"eax", "00000001"}, {"eip", "00401000"}}));

    EXPECT_EQ(tabs[4].Columns, (std::vector<AnsiString>{"address", "data - hexadecimal", "data - chars"}));
    ASSERT_EQ(tabs[4].Rows.size(), 2u);
    EXPECT_EQ(tabs[4].Rows[0],
              (TRow{"0012ff00", "41 42 00 01 00 00 00 00 - 00 00 00 00 00 00 00 00", "AB.............."}));
    EXPECT_EQ(tabs[4].Rows[1], (TRow{"0012ff10", "00 00 00 00", "...."}));
}

TEST(ReportTabs, ProcessesWithoutOptionalColumnsKeepFourTitles) {
    std::vector<TProcessLine> processes{
        {0x10, "a.exe", std::nullopt, std::nullopt, std::nullopt, 0x20, "C:\\a.exe"},
        {0x2a0, "bb.exe", std::nullopt, std::nullopt, std::nullopt, 0x80, "C:\\b"}};
    TReportTab tab = BuildReportTabs({}, {{"processes", FormatProcesses(processes)}}, {})[1];
    EXPECT_EQ(tab.Columns, (std::vector<AnsiString>{"id", "file name", "priority", "path"}));
    EXPECT_EQ(tab.Rows, (std::vector<TRow>{{"010", "a.exe", "normal", "C:\\a.exe"},
                                           {"2a0", "bb.exe", "high", "C:\\b"}}));
}

TEST(ReportTabs, PlaceholdersErrorsAndUnknownSectionsUseTheGeneralSplitting) {
    std::vector<TReportField> sections{
        {"cpu registers", kCalculatedSoon},
        {"modules", InternalErrorText("plugin")},
        {"error details", "it crashed when I clicked send"},
        {"disassembling",
         "[...]\r\n00401000   12 mov eax, 1  ; load\r\n00401005 > 13 ret\r\n0040100a      nop"},
        {"custom", "name    value\r\nother   second value"},
    };
    std::vector<TReportTab> tabs = BuildReportTabs({}, sections, {});
    ASSERT_EQ(tabs.size(), 6u);
    EXPECT_EQ(tabs[1].Caption, "cpu regs");
    EXPECT_TRUE(tabs[1].Columns.empty());
    EXPECT_EQ(tabs[1].Text, kCalculatedSoon);
    EXPECT_TRUE(tabs[2].Columns.empty());
    EXPECT_EQ(tabs[2].Text, InternalErrorText("plugin"));
    EXPECT_TRUE(tabs[3].Columns.empty());
    EXPECT_EQ(tabs[3].Text, "it crashed when I clicked send");
    EXPECT_EQ(tabs[4].Columns, (std::vector<AnsiString>{"line", "address", "asm code", "comments"}));
    // The exception's line keeps its marker beside the address.
    EXPECT_EQ(tabs[4].Rows, (std::vector<TRow>{{"", "[...]", "", ""},
                                               {"12", "00401000", "mov eax, 1", "; load"},
                                               {"13", "00401005 >", "ret", ""},
                                               {"", "0040100a", "nop", ""}}));
    EXPECT_EQ(tabs[5].Columns.size(), 2u);
    EXPECT_EQ(tabs[5].Rows, (std::vector<TRow>{{"name", "value"}, {"other", "second value"}}));
}

TEST(ReportTabs, SplitAtBlankRunsKeepsSingleBlanks) {
    EXPECT_EQ(SplitAtBlankRuns("  a b   c\t  d  "), (std::vector<AnsiString>{"a b", "c\t", "d"}));
    EXPECT_TRUE(SplitAtBlankRuns("   ").empty());
}

}  // namespace
}  // namespace qr
