// A report for a real thread of this program, from the system's own
// answers, checked line by line with patterns; and the report file beside
// the program after three saves of the same made-up failure.
#include <windows.h>

#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <regex>
#include <thread>

#include "base/Exception.h"
#include "crashreport/settings/Settings.h"
#include "crashreport/settings/StoredSettings.h"
#include "crashreport/intercept/DwarfStack_win32.h"
#include "crashreport/report/CompletionThread.h"
#include "crashreport/report/CpuContext_win32.h"
#include "crashreport/report/ReportBuilder.h"
#include "crashreport/report/ReportFile.h"
#include "crashreport/report/ReportLayout.h"

namespace qr {
namespace {

QR_DECLARE_EXCEPTION(EMadeUpFailure, Exception);

// The "failing" code: its caller's address is the exception location.
#if defined(__x86_64__)
__attribute__((noinline)) void MadeUpFailurePoint(CONTEXT& context) { RtlCaptureContext(&context); }
#else
// Wine's x86 RtlCaptureContext takes the registers from the caller's frame
// pointer, which this code does not keep.
__attribute__((noinline)) void MadeUpFailurePoint(CONTEXT& context) {
    void* caller = nullptr;
    CaptureDwarfStack(1, &caller, 1, &context);
}
#endif

// A thread that takes its own context and waits until it is let go.
class TFailingThread {
public:
    TFailingThread() {
        FThread = std::thread([this] {
            CONTEXT context{};
            MadeUpFailurePoint(context);
            std::unique_lock lock(FLock);
            FContext = context;
            FId = GetCurrentThreadId();
            FReady.notify_all();
            FReady.wait(lock, [this] { return FRelease; });
        });
        std::unique_lock lock(FLock);
        FReady.wait(lock, [this] { return FId != 0; });
    }
    ~TFailingThread() {
        {
            std::lock_guard lock(FLock);
            FRelease = true;
        }
        FReady.notify_all();
        FThread.join();
    }
    DWORD Id() const { return FId; }
    const CONTEXT& Context() const { return FContext; }

private:
    std::mutex FLock;
    std::condition_variable FReady;
    bool FRelease = false;
    DWORD FId = 0;
    CONTEXT FContext{};
    std::thread FThread;
};

TFailure MadeUpFailure(const TFailingThread& thread, unsigned number) {
    EMadeUpFailure error("The made-up failure happened!");
    TFailure failure;
    failure.ExceptClass = error.ClassName();
    failure.ExceptMessage = error.Message();
    failure.Address = reinterpret_cast<uintptr_t>(&MadeUpFailurePoint) + 4;
    failure.ThreadId = thread.Id();
    SYSTEMTIME now{};
    GetLocalTime(&now);
    failure.Time = {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
    failure.ProgramUpTime = 1500;
    failure.Number = number;
    SetFailureContext(failure, thread.Context());
    return failure;
}

// Builds and completes a report in the completion thread.
AnsiString BuildReport(const TFailingThread& thread, unsigned number) {
    auto system = CreateReportSystem();
    TIMESettings settings(
        std::make_shared<const TSettingsTable>(TSettingsTable::Parse(EmbeddedSettingsText())));
    TBugReport report;
    TReportBuilder builder(report, *system, MadeUpFailure(thread, number),
                           ReportOptionsFrom(settings, GetCurrentThreadId(), 0),
                           {{GetCurrentThreadId(), "main thread", ""}});
    builder.BuildHeader();
    builder.BuildSkeleton();
    EXPECT_NE(report.Text().find(">> will be calculated soon"), AnsiString::npos);
    {
        TCompletionThread completion([&] { builder.Complete(); });
        EXPECT_TRUE(completion.Wait(120000));
    }
    EXPECT_TRUE(report.Complete());
    return report.Text();
}

std::map<AnsiString, AnsiString> HeaderOf(const AnsiString& text) {
    std::map<AnsiString, AnsiString> header;
    for (std::string_view line : SplitLines(text)) {
        if (line.empty()) break;
        size_t colon = line.find(" : ");
        if (colon == std::string_view::npos) continue;
        AnsiString name(line.substr(0, colon));
        while (!name.empty() && name.back() == ' ') name.pop_back();
        header[name] = AnsiString(line.substr(colon + 3));
    }
    return header;
}

std::vector<AnsiString> SectionNames(const AnsiString& text) {
    std::vector<AnsiString> names;
    std::vector<std::string_view> lines = SplitLines(text);
    for (size_t i = 1; i < lines.size(); ++i)
        if (lines[i - 1].empty() && !lines[i].empty()) names.emplace_back(lines[i]);
    return names;
}

void KeepForTheNotes(const char* name, const AnsiString& text) {
    std::ofstream(std::filesystem::temp_directory_path() / name, std::ios::binary) << text;
}

TEST(BugReportUnderWindows, EveryHeaderItemTheSystemAnswersAndTheSectionsInOrder) {
    TFailingThread thread;
    const AnsiString text = BuildReport(thread, 1);
    KeepForTheNotes("qr-bugreport-sample.txt", text);
    std::map<AnsiString, AnsiString> header = HeaderOf(text);

    const std::pair<const char*, const char*> expected[] = {
        {"date/time", R"(\d{4}-\d\d-\d\d, \d\d:\d\d:\d\d, \d{1,3}ms)"},
        {"computer name", R"(\S.*)"},
        // The value's two blanks before "<admin>" become one like every run of
        // blanks in a header line.
        {"user name", R"(\S+( <admin>)?)"},
        {"operating system", R"(Windows [^ ].* build \d+)"},
        {"system language", R"(\S.*)"},
        {"system up time", R"((\d+ (day|hour|minute|second)s? ?){1,2})"},
        {"program up time", R"(1 second 500 milliseconds|1 second)"},
        {"physical memory", R"(\d+/\d+ MB \(free/total\))"},
        {"free disk space", R"(\([A-Z]:\) \d+[.,]\d (KB|MB|GB)( \([A-Z]:\) \d+[.,]\d (KB|MB|GB))?)"},
        {"display mode", R"(\d+x\d+, \d+ bit)"},
        {"process id", R"(\$[0-9a-f]+)"},
        {"allocated memory", R"(\d+[.,]\d (KB|MB|GB))"},
        {"executable", R"(win32_tests\.exe)"},
        {"exec. date/time", R"(\d{4}-\d\d-\d\d \d\d:\d\d)"},
        {"compiled with", R"(GCC \d+\.\d+\.\d+, mingw-w64 \d+\.\d+\.\d+)"},
        {"Tobrisk version", R"(3\.0o)"},
        {"callstack crc", R"(\$[0-9a-f]{8}, \$[0-9a-f]{8}, \$[0-9a-f]{8})"},
        {"exception number", R"(1)"},
        {"exception class", R"(EMadeUpFailure)"},
        {"exception message", R"(The made-up failure happened\.)"},
    };
    for (const auto& [name, pattern] : expected) {
        ASSERT_TRUE(header.count(name)) << name << "\n" << text;
        EXPECT_TRUE(std::regex_match(header[name], std::regex(pattern))) << name << ": " << header[name];
    }
    EXPECT_EQ(header["program up time"], "1 second");
    const AnsiString processor = header.count("processors") ? header["processors"] : header["processor"];
    EXPECT_TRUE(
        std::regex_match(processor, std::regex(header.count("processors") ? R"((\d+)x \S.*)" : R"(\S.*)")))
        << processor;
    EXPECT_FALSE(header.count("version"));  // this test program has no version resource
    EXPECT_FALSE(header.count("wts client name"));

    // Header lines: every colon in one column.
    std::vector<std::string_view> lines = SplitLines(text);
    size_t column = lines[0].find(": ");
    for (std::string_view line : lines) {
        if (line.empty()) break;
        EXPECT_EQ(line.find(": "), column) << line;
    }

    std::vector<AnsiString> sections = SectionNames(text);
    ASSERT_GE(sections.size(), 8u);
    char failing[64];
    std::snprintf(failing, sizeof failing, "thread $%lx:", static_cast<unsigned long>(thread.Id()));
    EXPECT_EQ(sections[0], failing);
    EXPECT_TRUE(
        std::regex_match(sections[1], std::regex(R"(main thread \(\$[0-9a-f]+\):( <priority:-?\d+>)?)")));
    const std::vector<AnsiString> tail(sections.end() - 6, sections.end());
    EXPECT_EQ(tail, (std::vector<AnsiString>{"modules:", "processes:", "hardware:", "cpu registers:",
                                             "stack dump:", "disassembling:"}));
    for (size_t i = 2; i + 6 < sections.size(); ++i)
        EXPECT_TRUE(std::regex_match(sections[i],
                                     std::regex(R"(thread \$[0-9a-f]+:( <suspended>)?( <priority:-?\d+>)?)")))
            << sections[i];

    // The failing thread's location in this program, named from the
    // program's map: the thread that took the context; registers, stack dump.
    size_t at = text.find(AnsiString(failing) + "\r\n");
    std::string_view location = SplitLines(std::string_view(text).substr(at))[1];
    // Addresses have the width of this build: 16 hex digits on x86-64, 8 on
    // x86, where the registers are the nine 32-bit ones.
    const std::string address = sizeof(void*) == 8 ? "[0-9a-f]{16}" : "[0-9a-f]{8}";
    EXPECT_TRUE(
        std::regex_match(AnsiString(location),
                         std::regex(address + R"( \+[0-9a-f]+ win32_tests\.exe BugReport_test\.cpp +\d+ +)"
                                              R"(\+\d+ .*TFailingThread.*)")))
        << location;
    const std::string registers = sizeof(void*) == 8
                                      ? "rax = [0-9a-f]{16}\r\n(r[a-z0-9]+ = [0-9a-f]{16}\r\n){16}"
                                      : "eax = [0-9a-f]{8}\r\n(e[a-z]{2} = [0-9a-f]{8}\r\n){8}";
    EXPECT_TRUE(
        std::regex_search(text, std::regex("cpu registers:\r\n" + registers + "\r\nstack dump:\r\n")));
    EXPECT_TRUE(std::regex_search(
        text, std::regex("stack dump:\r\n(" + address +
                         "  ([0-9a-f]{2} ){8}- ([0-9a-f]{2} ){8} [!-~.]{16}(\r\n|$)){20}")));
    EXPECT_TRUE(std::regex_search(text, std::regex("\r\n" + address + " win32_tests\\.exe +\\S.*\\\\\r\n")));
    EXPECT_TRUE(std::regex_search(text, std::regex("\r\n" + address + " ntdll\\.dll +")));
    // This process among the processes, under its id.
    size_t processes = text.find("\r\nprocesses:\r\n"), hardware = text.find("\r\nhardware:\r\n");
    ASSERT_LT(processes, hardware);
    const AnsiString processList = text.substr(processes, hardware - processes);
    char ownProcess[64];
    std::snprintf(ownProcess, sizeof ownProcess, "\r\n0*%lx win32_tests\\.exe +",
                  static_cast<unsigned long>(GetCurrentProcessId()));
    EXPECT_TRUE(std::regex_search(processList, std::regex(ownProcess))) << processList;
    EXPECT_EQ(text.find("will be calculated soon"), AnsiString::npos);
    EXPECT_EQ(text.find("internal error"), AnsiString::npos);
}

TEST(BugReportUnderWindows, ThreeSavesOfTheSameFailureLeaveOneReportWithCountThree) {
    auto files = CreateReportFileSystem();
    auto system = CreateSystemQueries();
    const UString program = system->ProgramFileName();
    const std::filesystem::path beside = std::filesystem::path(program).parent_path() / "bugreport.txt";
    std::filesystem::remove(beside);

    TFailingThread thread;
    TIMESettings settings(
        std::make_shared<const TSettingsTable>(TSettingsTable::Parse(EmbeddedSettingsText())));
    std::vector<AnsiString> reports;
    for (unsigned number = 1; number <= 3; ++number) {
        TReportSaveRequest request;
        request.FileName = settings.GetText("BugRepFile");
        request.ProgramFileName = program;
        request.Report = BuildReport(thread, number);
        request.Rules = ReportFileRulesFrom(settings);
        std::optional<UString> saved = SaveReportFile(*files, *system, request);
        ASSERT_TRUE(saved);
        EXPECT_EQ(std::filesystem::path(*saved), beside);
        reports.push_back(request.Report);
    }
    std::ifstream in(beside, std::ios::binary);
    const AnsiString file{std::istreambuf_iterator<char>(in), {}};
    in.close();
    KeepForTheNotes("qr-bugreport-count3.txt", file);
    std::filesystem::remove(beside);

    // One report: the third, with "count" 3 under "callstack crc".
    ASSERT_TRUE(file.ends_with("\r\n\r\n"));
    EXPECT_TRUE(file.starts_with("date/time"));
    EXPECT_EQ(file.find("\ndate/time"), AnsiString::npos);
    const AnsiString& last = reports.back();
    size_t crcEnd = last.find("\r\n", last.find("callstack crc")) + 2;
    const AnsiString countLine =
        "count" +
        AnsiString(last.find(": ", last.find("callstack crc")) - last.find("callstack crc") - 5, ' ') +
        ": 3\r\n";
    EXPECT_EQ(file, last.substr(0, crcEnd) + countLine + last.substr(crcEnd) + "\r\n\r\n");
    EXPECT_EQ(HeaderOf(file)["exception number"], "3");
}

TEST(BugReportUnderWindows, AnUnwritableProgramFolderSendsTheReportToApplicationData) {
    auto files = CreateReportFileSystem();
    auto system = CreateSystemQueries();
    TReportSaveRequest request;
    request.FileName = u"bugreport.txt";
    // A drive that does not exist stands in for a write-protected folder.
    request.ProgramFileName = u"Q:\\nowhere\\qr-fallback-test.exe";
    request.Report = "date/time : now";
    std::optional<UString> saved = SaveReportFile(*files, *system, request);
    ASSERT_TRUE(saved);
    UString appData = system->UserAppDataFolder();
    while (!appData.empty() && appData.back() == u'\\') appData.pop_back();
    EXPECT_EQ(*saved, appData + u"\\qr-fallback-test\\bugreport.txt");
    std::filesystem::path folder = std::filesystem::path(*saved).parent_path();
    std::ifstream in(std::filesystem::path(*saved), std::ios::binary);
    EXPECT_EQ(AnsiString(std::istreambuf_iterator<char>(in), {}), "date/time : now\r\n\r\n");
    in.close();
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace qr
