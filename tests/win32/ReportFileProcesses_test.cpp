// Two copies of the program saving into one report file at the same time
// (a restart racing the old copy's save, two installs in one folder): this
// test program runs itself twice as the two savers, both let go at once,
// 50 reports each. Every report must end up in the report file or in the
// fallback file under application data, and both files must be whole.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "base/win32/Handles.h"
#include "crashreport/report/ReportFile.h"
#include "crashreport/report/ReportLayout.h"

namespace qr {
namespace {

namespace fs = std::filesystem;

constexpr int kReportsEach = 50;
constexpr wchar_t kFolderVariable[] = L"QR_SAVER_FOLDER";
constexpr wchar_t kTagVariable[] = L"QR_SAVER_TAG";
constexpr wchar_t kStartVariable[] = L"QR_SAVER_START";

std::wstring Variable(const wchar_t* name) {
    wchar_t value[1024] = {};
    const DWORD length = GetEnvironmentVariableW(name, value, 1024);
    return length > 0 && length < 1024 ? std::wstring(value, length) : std::wstring();
}

UString Backslashed(const fs::path& path) {
    UString text = path.u16string();
    for (char16_t& c : text)
        if (c == u'/') c = u'\\';
    return text;
}

// The application data folder lies in the test's folder.
class TSaverSystem : public ISystemQueries {
public:
    explicit TSaverSystem(fs::path folder) : FFolder(std::move(folder)) {}
    UString ProgramFileName() override { return Backslashed(FFolder / "program" / "quellora-remote.exe"); }
    std::optional<std::array<uint16_t, 4>> FileVersion(const UString&) override { return std::nullopt; }
    TLocalTime LocalTime() override { return {}; }
    UString ComputerName() override { return u"PC"; }
    UString DesktopFolder() override { return Backslashed(FFolder / "desktop"); }
    UString UserAppDataFolder() override { return Backslashed(FFolder / "appdata"); }
    UString CommonAppDataFolder() override { return Backslashed(FFolder / "common"); }

private:
    fs::path FFolder;
};

// Report `number` of saver `tag`: a failure of its own, so nothing collapses.
AnsiString SaverReport(const std::string& tag, int number) {
    char crc[40];
    snprintf(crc, sizeof crc, "$%08x, $%08x, $0000000%c", number, number * 7 + 1, tag[0]);
    return ComposeReportText({{"date/time", "2024-05-02, 10:00:00, 1ms"},
                              {"executable", "quellora-remote.exe"},
                              {"callstack crc", crc},
                              {"exception class", "ESaver" + tag},
                              {"exception message", "saver " + tag + " report " + std::to_string(number)}},
                             {{"modules", "00400000 quellora-remote.exe\r\n7ff00000 kernel32.dll"}});
}

// One of the two savers; skipped when the test runs on its own.
TEST(ReportFileProcesses, Saver) {
    const std::wstring folder = Variable(kFolderVariable), tag = Variable(kTagVariable);
    if (folder.empty() || tag.empty()) GTEST_SKIP() << "runs as a child of the test below";
    win32::THandle start(OpenEventW(SYNCHRONIZE, FALSE, Variable(kStartVariable).c_str()));
    ASSERT_TRUE(start);
    ASSERT_EQ(WaitForSingleObject(start.Get(), 60000), WAIT_OBJECT_0);
    auto files = CreateReportFileSystem();
    TSaverSystem system{fs::path(folder)};
    TReportSaveRequest request;
    request.FileName = u"bugreport.txt";
    request.ProgramFileName = system.ProgramFileName();
    for (int i = 0; i < kReportsEach; ++i) {
        request.Report = SaverReport(std::string(tag.begin(), tag.end()), i);
        ASSERT_TRUE(SaveReportFile(*files, system, request)) << i;
    }
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The file's reports by their message; a file that is not a sequence of
// whole reports, each followed by one empty line, fails.
void CollectReports(const fs::path& path, std::map<std::string, int>& seen) {
    const std::string content = ReadAll(path);
    size_t at = 0;
    while (at < content.size()) {
        const size_t end = content.find("\r\n\r\n", at);
        ASSERT_NE(end, std::string::npos) << path << " ends inside a report";
        // A report's own empty lines stand before its sections.
        size_t next = end;
        while (content.compare(next + 4, 8, "modules:") == 0) next = content.find("\r\n\r\n", next + 4);
        ASSERT_NE(next, std::string::npos) << path << " ends inside a report";
        const std::string report = content.substr(at, next - at);
        ASSERT_TRUE(report.starts_with("date/time")) << path << " at " << at << ":\n" << report;
        const size_t message = report.find("exception message : ");
        ASSERT_NE(message, std::string::npos) << report;
        const size_t lineEnd = report.find("\r\n", message);
        ++seen[report.substr(message + 20, lineEnd - message - 20)];
        EXPECT_TRUE(report.ends_with("7ff00000 kernel32.dll")) << path << ": a cut report\n" << report;
        at = next + 4;
    }
}

TEST(ReportFileProcesses, TwoProgramsSavingAtOnceLoseNothing) {
    wchar_t self[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
    const fs::path folder =
        fs::temp_directory_path() / ("qr-two-savers-" + std::to_string(GetCurrentProcessId()));
    fs::remove_all(folder);
    fs::create_directories(folder / "program");
    const std::wstring startName = L"Local\\qr-two-savers-" + std::to_wstring(GetCurrentProcessId());
    win32::THandle start(CreateEventW(nullptr, TRUE, FALSE, startName.c_str()));
    ASSERT_TRUE(start);

    std::vector<win32::THandle> savers;
    for (const wchar_t* tag : {L"A", L"B"}) {
        SetEnvironmentVariableW(kFolderVariable, folder.c_str());
        SetEnvironmentVariableW(kTagVariable, tag);
        SetEnvironmentVariableW(kStartVariable, startName.c_str());
        std::wstring line = L"\"" + std::wstring(self) + L"\" --gtest_filter=ReportFileProcesses.Saver";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION started{};
        const BOOL made = CreateProcessW(self, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                         &startup, &started);
        SetEnvironmentVariableW(kFolderVariable, nullptr);
        SetEnvironmentVariableW(kTagVariable, nullptr);
        SetEnvironmentVariableW(kStartVariable, nullptr);
        ASSERT_TRUE(made);
        win32::THandle thread(started.hThread);
        savers.emplace_back(started.hProcess);
    }
    // Both are up and waiting (each needs a while to start under Wine);
    // the event lets them go together.
    Sleep(500);
    SetEvent(start.Get());
    for (win32::THandle& saver : savers) {
        ASSERT_EQ(WaitForSingleObject(saver.Get(), 120000), WAIT_OBJECT_0);
        DWORD code = 1;
        GetExitCodeProcess(saver.Get(), &code);
        EXPECT_EQ(code, 0u) << "a saver failed";
    }

    std::map<std::string, int> seen;
    CollectReports(folder / "program" / "bugreport.txt", seen);
    const size_t beside = seen.size();
    const fs::path fallback = folder / "appdata" / "quellora-remote" / "bugreport.txt";
    if (fs::exists(fallback)) CollectReports(fallback, seen);
    // How often the two met at the file (Wine's scheduling decides).
    std::cout << "[ savers   ] " << seen.size() - beside << " reports went to the fallback file\n";
    for (const char* tag : {"A", "B"})
        for (int i = 0; i < kReportsEach; ++i) {
            const std::string message = std::string("saver ") + tag + " report " + std::to_string(i);
            EXPECT_EQ(seen[message], 1) << message;
        }
    EXPECT_EQ(seen.size(), size_t(2 * kReportsEach));
    EXPECT_FALSE(fs::exists(folder / "program" / "bugreport.txt.tmp"));
    fs::remove_all(folder);
}

}  // namespace
}  // namespace qr
