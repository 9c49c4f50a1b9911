// Runs every crash test program under Wine and plays its script (the
// "//!" lines of the comment block at the top of its source, kept from
// reformatting between "clang-format off" and "on"): waits for the crash dialog or box
// of the program's process, checks its buttons, presses them from outside,
// and checks the exit code and the report file.
//
// Script lines, in the order they run:
//   args A B...        command line arguments (quoted as written)
//   make-dir NAME      a folder in the program's folder before it starts
//   library NAME       copies the tests' library NAME beside the program
//   wait-form          until the main window (class "TMainForm") exists
//   click-form-button  clicks the main window's button
//   dialog NAME=STATE... focus=NAME
//                      waits for the crash dialog; STATE enabled, disabled
//                      or hidden
//   box title=T buttons=A,B
//                      waits for a plain box with that title and buttons
//   press NAME         presses a button (send .. close, ok, details) or
//                      the escape key; then waits until the window is gone
//   click NAME         presses a button as press does, without waiting:
//                      the dialog may stand on while the action runs
//   forward TEXT       sends TEXT to the program over TCP and reads it from
//                      the mailslot
//   client-send NAME TEXT
//                      sends TEXT to the program over the connection of
//                      client NAME (connected at its first line), which
//                      stays open
//   forwarded TEXT     the next message in the mailslot is TEXT
//   disconnected NAME  the program closes client NAME's connection
//   no-dialog          no crash dialog of the process for two seconds
//   post-close         asks the application window to close
//   wait-file NAME     until the file exists in the program's folder
//   file NAME TEXT     its content ({pid}, {commandline} filled in)
//   storm N            answers every dialog with "continue" until the
//                      process ends; expects N dialogs
//   exit N [S]         waits for the process to end with code N (within S
//                      seconds)
//   still-running      the process has not ended two seconds later
//   report RE          a line of the report file matches RE
//   report-block RE ;; RE...
//                      consecutive lines match; {line:NAME} is the number
//                      of the source line marked "//@ NAME"
//   (in every line {addr}, {ADDR} and {ptr:HEX} stand for an address of
//   this build's width: see driver/ReportBlocks.h)
//   run-again          starts the program once more (no arguments)
//   report-count N     the report file holds N reports
//   reports-whole      every report is whole, the file within its limit
//   no-report          there is no report file
//   appdata-report RE  as report, for the file under application data
//   and the large form's verbs of driver/LargeFormVerbs.h
//   (sending a report: see driver/SendVerbs.h; the assistants:
//   driver/AssistantVerbs.h)
#include <windows.h>

#include <shlobj.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/crash/driver/DriverText.h"
#include "tests/crash/driver/AssistantVerbs.h"
#include "tests/crash/driver/LargeFormVerbs.h"
#include "tests/crash/driver/ReportBlocks.h"
#include "tests/crash/driver/SendVerbs.h"
#include "tests/support/ClientSocket.h"
#include "tests/support/WindowTestKit_win32.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr auto kWindowWait = 120s;  // a crash dialog under a loaded Wine

std::vector<std::string> SplitWords(const std::string& text) {
    std::vector<std::string> words;
    std::istringstream in(text);
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

std::vector<std::string> ScriptOf(const std::string& program) {
    std::ifstream in(fs::path(QR_CRASH_SOURCE_DIR) / (program + ".cpp"));
    std::vector<std::string> lines;
    // The script: the "//! " lines of the comment block the file begins with.
    for (std::string line; std::getline(in, line) && line.rfind("//", 0) == 0;)
        if (line.rfind("//! ", 0) == 0) lines.push_back(line.substr(4));
    return lines;
}

int ButtonId(const std::string& name) {
    static const char* const names[] = {"send", "save", "print", "show", "continue", "restart", "close"};
    for (int i = 0; i < 7; ++i)
        if (name == names[i]) return 100 + i;
    if (name == "ok") return 104;
    if (name == "details") return 103;
    return -1;
}

std::wstring Widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::string TextOf(HWND window) {
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    std::string narrow;
    for (const wchar_t* c = text; *c; ++c) narrow += static_cast<char>(*c);
    return narrow;
}

// Top-level windows of one process with a given class.
class TCrashRun {
public:
    explicit TCrashRun(const std::string& name) : FName(name) {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        FFolder = fs::path(temp) / "qr-crash" / name;
        std::error_code ignored;
        fs::remove_all(FFolder, ignored);
        fs::create_directories(FFolder);
        FExe = FFolder / (name + ".exe");
        fs::copy_file(fs::path(QR_CRASH_PROGRAM_DIR) / (name + ".exe"), FExe);
        fs::remove_all(AppDataReport().parent_path(), ignored);
    }
    ~TCrashRun() {
        if (FProcess) {
            if (WaitForSingleObject(FProcess, 0) == WAIT_TIMEOUT) TerminateProcess(FProcess, 99);
            CloseHandle(FProcess);
        }
        if (FSlot != INVALID_HANDLE_VALUE) CloseHandle(FSlot);
        for (auto& [name, socket] : FClients) qr::test::ClientClose(socket);
    }

    void Play(const std::vector<std::string>& script) {
        ASSERT_FALSE(script.empty()) << FName << " has no script";
        std::string args;
        for (const std::string& line : script) {
            std::vector<std::string> w = SplitWords(line);
            if (w[0] == "args") args = line.substr(5);
            if (w[0] == "make-dir") fs::create_directories(FFolder / w[1]);
            if (w[0] == "library") fs::copy_file(fs::path(QR_SEND_STANDIN_DIR) / w[1], FFolder / w[1]);
            if (w[0] == "forward" || w[0] == "forwarded") {
                if (FSlot == INVALID_HANDLE_VALUE) OpenSlot();
            }
            if (w[0] == "mapi" || w[0] == "mailer") FSend.Setup(w, FFolder);
        }
        Start(args);
        for (const std::string& line : script) {
            SCOPED_TRACE(FName + ": " + line);
            Step(line);
            if (::testing::Test::HasFatalFailure()) return;
        }
    }

private:
    fs::path Report() const { return FFolder / "bugreport.txt"; }
    fs::path AppDataReport() const {
        wchar_t appData[MAX_PATH] = {};
        SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, appData);
        return fs::path(appData) / FName / "bugreport.txt";
    }

    void Start(const std::string& args) {
        FCommandLine = L"\"" + FExe.wstring() + L"\"" + (args.empty() ? L"" : L" " + Widen(args));
        std::wstring line = FCommandLine;
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        ASSERT_TRUE(CreateProcessW(FExe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   FFolder.c_str(), &startup, &info));
        CloseHandle(info.hThread);
        FProcess = info.hProcess;
        FPid = info.dwProcessId;
    }

    // Gives up early once the program has ended, unless something else
    // (a restarted instance) is awaited.
    template <class Check>
    bool WaitFor(Check check, std::chrono::seconds limit = kWindowWait, bool whileRunning = true) {
        auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            if (check()) return true;
            if (whileRunning && WaitForSingleObject(FProcess, 0) == WAIT_OBJECT_0 && !check()) return false;
            std::this_thread::sleep_for(20ms);
        }
        return check();
    }

    HWND WaitForDialog() {
        HWND dialog = nullptr;
        WaitFor([&] { return (dialog = testkit::FindProcessWindow(FPid, L"TobriskWndClass")) != nullptr; });
        return dialog;
    }

    // The shown buttons' captions, joined by commas.
    static std::string ButtonTexts(HWND dialog) {
        std::string joined;
        for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            wchar_t cls[32] = {};
            GetClassNameW(child, cls, 32);
            if (_wcsicmp(cls, L"Button") == 0 && IsWindowVisible(child))
                joined += (joined.empty() ? "" : ",") + TextOf(child);
        }
        return joined;
    }

    // The crash dialog or a plain box, with name=state (enabled, disabled,
    // hidden), focus=name, title=text and buttons=captions checks.
    void CheckDialog(const std::vector<std::string>& w) {
        HWND dialog = WaitForDialog();
        ASSERT_TRUE(dialog) << "no crash dialog";
        FDialog = dialog;
        for (size_t i = 1; i < w.size(); ++i) {
            size_t eq = w[i].find('=');
            std::string name = w[i].substr(0, eq), state = w[i].substr(eq + 1);
            if (name == "title") {
                EXPECT_EQ(TextOf(dialog), state);
                continue;
            }
            if (name == "buttons") {
                EXPECT_EQ(ButtonTexts(dialog), state);
                continue;
            }
            if (name == "focus") {
                GUITHREADINFO info{};
                info.cbSize = sizeof info;
                DWORD thread = GetWindowThreadProcessId(dialog, nullptr);
                // The focus settles once the window is shown.
                EXPECT_TRUE(WaitFor(
                    [&] {
                        return GetGUIThreadInfo(thread, &info) && info.hwndFocus &&
                               GetDlgCtrlID(info.hwndFocus) == ButtonId(state);
                    },
                    10s))
                    << "focus is not on " << state;
                continue;
            }
            HWND button = GetDlgItem(dialog, ButtonId(name));
            if (state == "hidden") {
                EXPECT_TRUE(!button || !IsWindowVisible(button)) << name;
                continue;
            }
            ASSERT_TRUE(button && IsWindowVisible(button)) << name << " is not shown";
            EXPECT_EQ(IsWindowEnabled(button) != FALSE, state == "enabled") << name;
        }
    }

    void Press(const std::string& name, bool waitUntilGone = true) {
        ASSERT_TRUE(FDialog) << "no dialog to press";
        HWND dialog = FDialog;
        FDialog = nullptr;
        if (name == "escape") {
            PostMessageW(dialog, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
            PostMessageW(dialog, WM_KEYUP, VK_ESCAPE, 0xC0010001);
        } else {
            HWND button = GetDlgItem(dialog, ButtonId(name));
            ASSERT_TRUE(button) << name;
            PostMessageW(button, BM_CLICK, 0, 0);
        }
        if (!waitUntilGone) return;
        EXPECT_TRUE(WaitFor([&] { return !IsWindow(dialog) || !IsWindowVisible(dialog); }))
            << "the window stays after " << name;
    }

    void OpenSlot() {
        FSlot = CreateMailslotW(L"\\\\.\\mailslot\\Quellora\\Messages", 0, 100, nullptr);
        ASSERT_NE(FSlot, INVALID_HANDLE_VALUE);
    }

    // A connection to the program, once it listens; kNoSocket: none.
    qr::test::TClientSocket Connect() {
        using namespace qr::test;
        TClientSocket socket = kNoSocket;
        EXPECT_TRUE(WaitFor(
            [&] {
                try {
                    socket = ClientConnect(false, 19150);
                    return true;
                } catch (const std::exception&) {
                    return false;
                }
            },
            30s))
            << "the program does not listen";
        return socket;
    }

    static void SendMessageText(qr::test::TClientSocket socket, const std::string& text) {
        std::string message = text + "\f";
        EXPECT_EQ(qr::test::ClientSend(socket, message.data(), message.size()),
                  static_cast<int>(message.size()));
    }

    void Forward(const std::string& text) {
        qr::test::TClientSocket socket = Connect();
        ASSERT_NE(socket, qr::test::kNoSocket);
        SendMessageText(socket, text);
        ExpectForwarded(text);
        qr::test::ClientClose(socket);
    }

    // The next message in the mailslot, which carries the program's 8-bit
    // text.
    void ExpectForwarded(const std::string& text) {
        std::string got;
        EXPECT_TRUE(WaitFor(
            [&] {
                DWORD next = MAILSLOT_NO_MESSAGE, count = 0;
                if (!GetMailslotInfo(FSlot, nullptr, &next, &count, nullptr) || next == MAILSLOT_NO_MESSAGE)
                    return false;
                std::string buffer(next, '\0');
                DWORD read = 0;
                if (!::ReadFile(FSlot, buffer.data(), next, &read, nullptr)) return false;
                got.assign(buffer.data(), read);
                return true;
            },
            30s));
        EXPECT_EQ(got, text);
    }

    void SendOver(const std::string& client, const std::string& text) {
        auto found = FClients.find(client);
        if (found == FClients.end()) {
            qr::test::TClientSocket socket = Connect();
            ASSERT_NE(socket, qr::test::kNoSocket);
            found = FClients.emplace(client, socket).first;
        }
        SendMessageText(found->second, text);
    }

    void ExpectDisconnected(const std::string& client) {
        using namespace qr::test;
        auto found = FClients.find(client);
        ASSERT_NE(found, FClients.end()) << "no client " << client;
        // The program never sends anything: the first byte is the end.
        ASSERT_TRUE(ClientReadable(found->second, 30000)) << client << " is still connected";
        EXPECT_LE(ClientReceiveOne(found->second), 0);
    }

    void Storm(int expected) {
        int dialogs = 0;
        while (WaitForSingleObject(FProcess, 0) == WAIT_TIMEOUT) {
            HWND dialog = nullptr;
            if (!WaitFor(
                    [&] {
                        return (dialog = testkit::FindProcessWindow(FPid, L"TobriskWndClass")) != nullptr;
                    },
                    30s))
                break;
            HWND button = GetDlgItem(dialog, 104);
            if (!button) continue;
            PostMessageW(button, BM_CLICK, 0, 0);
            if (WaitFor([&] { return !IsWindow(dialog); }, 60s)) ++dialogs;
        }
        EXPECT_EQ(dialogs, expected);
    }

    static std::string Fill(std::string text, const std::string& key, const std::string& value) {
        for (size_t at; (at = text.find(key)) != std::string::npos;) text.replace(at, key.size(), value);
        return text;
    }

    void CheckReportLine(const fs::path& file, const std::string& pattern) {
        std::regex re(pattern);
        for (const std::string& line : crashtest::TextLines(crashtest::ReadFileText(file)))
            if (std::regex_search(line, re)) return;
        ADD_FAILURE() << "no line of " << file << " matches " << pattern << "\n"
                      << crashtest::ReadFileText(file).substr(0, 3000);
    }

    static int ReportCount(const std::string& text) {
        int count = 0;
        for (const std::string& line : crashtest::TextLines(text))
            if (line.rfind("date/time", 0) == 0) ++count;
        return count;
    }

    HWND FormButton() const {
        HWND form = testkit::FindProcessWindow(FPid, L"TMainForm", false);
        for (HWND child = form ? GetWindow(form, GW_CHILD) : nullptr; child;
             child = GetWindow(child, GW_HWNDNEXT)) {
            wchar_t cls[32] = {};
            GetClassNameW(child, cls, 32);
            if (_wcsicmp(cls, L"Button") == 0) return child;
        }
        return nullptr;
    }

    void Step(const std::string& line) {
        std::vector<std::string> w = SplitWords(line);
        const std::string& verb = w[0];
        std::string rest =
            qr::crashtest::FillAddressWidth(line.size() > verb.size() ? line.substr(verb.size() + 1) : "");
        if (verb == "args" || verb == "make-dir" || verb == "library" || verb == "x86-64-only") {
        } else if (verb == "wait-form") {
            // The form's controls are made right after its window.
            ASSERT_TRUE(WaitFor([&] { return FormButton() != nullptr; }));
        } else if (verb == "click-form-button") {
            HWND button = FormButton();
            ASSERT_TRUE(button);
            HWND form = GetParent(button);
            PostMessageW(form, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
                         reinterpret_cast<LPARAM>(button));
        } else if (verb == "dialog" || verb == "box") {
            CheckDialog(w);
        } else if (verb == "press" || verb == "click") {
            Press(w[1], verb == "press");
        } else if (verb == "forward") {
            Forward(rest);
        } else if (verb == "client-send") {
            SendOver(w[1], rest.substr(w[1].size() + 1));
        } else if (verb == "forwarded") {
            ExpectForwarded(rest);
        } else if (verb == "disconnected") {
            ExpectDisconnected(w[1]);
        } else if (verb == "no-dialog") {
            EXPECT_FALSE(
                WaitFor([&] { return testkit::FindProcessWindow(FPid, L"TobriskWndClass") != nullptr; }, 2s))
                << "a crash dialog opened";
        } else if (verb == "post-close") {
            HWND app = testkit::FindProcessWindow(FPid, L"TApplication", false);
            ASSERT_TRUE(app);
            PostMessageW(app, WM_CLOSE, 0, 0);
        } else if (verb == "wait-file") {
            ASSERT_TRUE(WaitFor([&] { return fs::exists(FFolder / w[1]); }, 60s, false));
        } else if (verb == "file") {
            std::string expected = rest.substr(w[1].size() + 1);
            expected = Fill(expected, "{pid}", std::to_string(FPid));
            std::string commandLine(FCommandLine.begin(), FCommandLine.end());
            expected = Fill(expected, "{commandline}", commandLine);
            std::string raw = crashtest::ReadFileText(FFolder / w[1]);
            std::string got;
            for (size_t i = 0; i + 1 < raw.size(); i += 2) got += raw[i];  // UTF-16, ASCII here
            EXPECT_EQ(got, expected);
        } else if (verb == "storm") {
            Storm(std::stoi(w[1]));
        } else if (verb == "exit") {
            const DWORD limit = w.size() > 2 ? std::stoul(w[2]) * 1000 : 120000;
            ASSERT_EQ(WaitForSingleObject(FProcess, limit), WAIT_OBJECT_0) << "the program does not end";
            DWORD code = 0;
            GetExitCodeProcess(FProcess, &code);
            EXPECT_EQ(code, static_cast<DWORD>(std::stoul(w[1])));
        } else if (verb == "still-running") {
            EXPECT_EQ(WaitForSingleObject(FProcess, 2000), static_cast<DWORD>(WAIT_TIMEOUT))
                << "the program ended";
        } else if (verb == "report") {
            CheckReportLine(Report(), rest);
        } else if (verb == "appdata-report") {
            CheckReportLine(AppDataReport(), rest);
        } else if (verb == "report-block") {
            qr::crashtest::CheckReportBlock(Report(), fs::path(QR_CRASH_SOURCE_DIR) / (FName + ".cpp"), rest);
        } else if (verb == "run-again") {
            CloseHandle(std::exchange(FProcess, nullptr));
            Start("");
        } else if (verb == "report-count") {
            EXPECT_EQ(ReportCount(crashtest::ReadFileText(Report())), std::stoi(w[1]));
        } else if (verb == "no-report") {
            EXPECT_FALSE(fs::exists(Report()));
        } else if (verb == "reports-whole") {
            std::string text = crashtest::ReadFileText(Report());
            EXPECT_LE(text.size(), 100000u);
            EXPECT_EQ(text.rfind("date/time", 0), 0u) << "the file does not begin with a report";
            int crcs = 0;
            for (const std::string& l : crashtest::TextLines(text))
                if (l.rfind("callstack crc", 0) == 0) ++crcs;
            EXPECT_EQ(ReportCount(text), crcs);
            EXPECT_GT(crcs, 0);
        } else if (crashtest::IsLargeFormVerb(verb)) {
            crashtest::RunLargeFormVerb({FProcess, FPid, FFolder}, verb, rest);
        } else if (FSend.Step(w, rest, FPid, FFolder)) {
        } else if (FAssistant.Step(verb, rest, FPid)) {
        } else {
            FAIL() << "unknown script line";
        }
    }

    std::string FName;
    fs::path FFolder, FExe;
    std::wstring FCommandLine;
    HANDLE FProcess = nullptr;
    DWORD FPid = 0;
    HWND FDialog = nullptr;
    HANDLE FSlot = INVALID_HANDLE_VALUE;
    std::map<std::string, qr::test::TClientSocket> FClients;  // kept open across lines
    qr::crashtest::TSendStage FSend;                          // undone after the program has gone
    crashtest::TAssistantDriver FAssistant;
};

class CrashPrograms : public ::testing::TestWithParam<std::string> {};

TEST_P(CrashPrograms, PlayTheirScripts) {
    std::vector<std::string> script = ScriptOf(GetParam());
#ifndef _WIN64
    // A behaviour the x86 build does not have yet: the line says which.
    for (const std::string& line : script)
        if (line.rfind("x86-64-only ", 0) == 0) GTEST_SKIP() << line.substr(12);
#endif
    TCrashRun run(GetParam());
    run.Play(script);
}

std::vector<std::string> ProgramNames() {
    std::vector<std::string> names;
    std::string list = QR_CRASH_PROGRAMS;
    for (size_t start = 0; start <= list.size();) {
        size_t semi = list.find(';', start);
        if (semi == std::string::npos) semi = list.size();
        if (semi > start) names.push_back(list.substr(start, semi - start));
        start = semi + 1;
    }
    return names;
}

INSTANTIATE_TEST_SUITE_P(Each, CrashPrograms, ::testing::ValuesIn(ProgramNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

}  // namespace
