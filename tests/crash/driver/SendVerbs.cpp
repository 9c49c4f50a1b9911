#include "tests/crash/driver/SendVerbs.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "base/win32/Handles.h"
#include "tests/crash/driver/DriverText.h"
#include "tests/support/WindowTestKit_win32.h"

namespace qr::crashtest {

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr wchar_t kMailerKey[] = L"mailto\\shell\\open\\command";

// Sending can take a while under a loaded Wine.
template <class Check>
bool WaitFor(Check check, std::chrono::milliseconds limit = 60s) {
    return testkit::WaitFor(check, limit);
}
bool HasLine(const std::string& text, const std::string& line) {
    for (const std::string& l : ::crashtest::TextLines(text))
        if (l == line) return true;
    return false;
}

std::wstring Widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::string Narrow(const wchar_t* text) {
    std::string narrow;
    for (; *text; ++text) narrow += static_cast<char>(*text);
    return narrow;
}

// The text of a message box: its static control's.
std::string BoxText(HWND box) {
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t cls[32] = {};
        GetClassNameW(child, cls, 32);
        wchar_t text[512] = {};
        GetWindowTextW(child, text, 512);
        if (_wcsicmp(cls, L"Static") == 0 && text[0]) return Narrow(text);
    }
    return {};
}

// The Unix path of a file, for the Linux programs that Wine starts.
std::string UnixPath(const fs::path& path) {
    using TUnixName = char*(CDECL*)(const wchar_t*);
    auto unixName = reinterpret_cast<TUnixName>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!unixName) return {};
    char* name = unixName(path.c_str());
    if (!name) return {};
    std::string result(name);
    HeapFree(GetProcessHeap(), 0, name);
    return result;
}

// Decodes a PNG with tests/support/png_decode.py, which Wine starts as the
// Linux program it is; the pixels as red, green, blue bytes. Wine gives no
// handle to wait on for a Linux process, so the decoder's result appears
// under its name only when whole (or a ".failed" file says why not).
std::optional<std::string> DecodePng(const fs::path& png, const fs::path& folder) {
    const fs::path out = folder / "decoded.rgb", failed = folder / "decoded.rgb.failed";
    std::error_code ignored;
    fs::remove(out, ignored);
    fs::remove(failed, ignored);
    const std::string program = QR_HOST_PYTHON;
    const std::string script =
        "import subprocess,sys,os;s,p,o=sys.argv[1:4];r=subprocess.call([sys.executable,s,p,o+'.part']);"
        "os.rename(o+'.part',o) if r==0 else open(o+'.failed','w').write(str(r))";
    std::wstring line = Widen("\"" + program + "\" -c \"" + script + "\" \"" QR_PNG_DECODE_SCRIPT "\" \"" +
                              UnixPath(png) + "\" \"" + UnixPath(out) + "\"");
    std::wstring application = L"Z:" + Widen(program);
    for (wchar_t& c : application)
        if (c == L'/') c = L'\\';
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &started))
        return std::nullopt;
    win32::THandle process(started.hProcess), thread(started.hThread);
    if (!WaitFor([&] { return fs::exists(out) || fs::exists(failed); })) return std::nullopt;
    if (!fs::exists(out)) return std::nullopt;
    return ::crashtest::ReadFileText(out);
}

// The attached screenshot decodes, has the screen's size and about the
// colour `rgb` at x, y.
void CheckScreenshot(const fs::path& png, const fs::path& folder, int x, int y, std::array<int, 3> rgb) {
    std::optional<std::string> pixels = DecodePng(png, folder);
    ASSERT_TRUE(pixels) << png << " does not decode";
    const int width = GetSystemMetrics(SM_CXVIRTUALSCREEN), height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    ASSERT_EQ(pixels->size(), static_cast<size_t>(width) * height * 3) << "not the screen's size";
    const size_t at = (static_cast<size_t>(y) * width + x) * 3;
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(static_cast<unsigned char>((*pixels)[at + c]), rgb[c], 24) << "channel " << c;
}

std::string Joined(const std::vector<std::string>& words, size_t from) {
    std::string text;
    for (size_t i = from; i < words.size(); ++i) text += (i > from ? " " : "") + words[i];
    return text;
}

}  // namespace

TSendStage::~TSendStage() {
    if (!FOverriddenProgram.empty())
        RegDeleteTreeW(HKEY_CURRENT_USER, (L"Software\\Wine\\AppDefaults\\" + FOverriddenProgram).c_str());
    if (FRegistryChanged) RegisterMailer(FOldMailer);
}

void TSendStage::Override(const std::wstring& program, const wchar_t* order) {
    // Wine's per-program DLL load order: only this test program is affected.
    FOverriddenProgram = program;
    HKEY created = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER,
                              (L"Software\\Wine\\AppDefaults\\" + program + L"\\DllOverrides").c_str(), 0,
                              nullptr, 0, KEY_SET_VALUE, nullptr, &created, nullptr),
              ERROR_SUCCESS);
    win32::TRegKey key(created);
    RegSetValueExW(key.Get(), L"mapi32", 0, REG_SZ, reinterpret_cast<const BYTE*>(order),
                   static_cast<DWORD>((wcslen(order) + 1) * sizeof(wchar_t)));
}

void TSendStage::RegisterMailer(const std::optional<std::wstring>& command) {
    if (!FRegistryChanged) {
        HKEY opened = nullptr;
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, kMailerKey, 0, KEY_QUERY_VALUE, &opened) == ERROR_SUCCESS) {
            win32::TRegKey key(opened);
            wchar_t old[1024] = {};
            DWORD bytes = sizeof old - sizeof(wchar_t);
            if (RegQueryValueExW(key.Get(), nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(old),
                                 &bytes) == ERROR_SUCCESS)
                FOldMailer = old;
        }
        FRegistryChanged = true;
    }
    HKEY created = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, kMailerKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &created,
                              nullptr),
              ERROR_SUCCESS);
    win32::TRegKey key(created);
    if (command)
        RegSetValueExW(key.Get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(command->c_str()),
                       static_cast<DWORD>((command->size() + 1) * sizeof(wchar_t)));
    else
        RegDeleteValueW(key.Get(), nullptr);
}

void TSendStage::Setup(const std::vector<std::string>& w, const fs::path& folder) {
    if (w[0] == "mapi" && w.size() > 1 && w[1] == "none") {
        Override(folder.filename().wstring() + L".exe", L"");  // disabled
    } else if (w[0] == "mapi") {
        fs::copy_file(fs::path(QR_SEND_STANDIN_DIR) / "mapi32.dll", folder / "mapi32.dll");
        std::ofstream(folder / "mapi-answer.txt") << (w.size() > 1 ? w[1].substr(w[1].find('=') + 1) : "0");
        if (w.size() > 2 && w[2] == "hold") std::ofstream(folder / "mapi-hold.txt") << "hold";
        if (w.size() > 2 && w[2] == "fault") std::ofstream(folder / "mapi-fault.txt") << "fault";
        Override(folder.filename().wstring() + L".exe", L"native");
    } else if (w[0] == "mailer" && w.size() > 1 && w[1] == "none") {
        RegisterMailer(std::nullopt);
    } else if (w[0] == "mailer") {
        fs::copy_file(fs::path(QR_SEND_STANDIN_DIR) / "quellora-mailer.exe", folder / "quellora-mailer.exe");
        RegisterMailer(L"\"" + (folder / "quellora-mailer.exe").wstring() + L"\" -compose \"%1\"");
    }
}

bool TSendStage::Step(const std::vector<std::string>& w, const std::string& rest, DWORD process,
                      const fs::path& folder) {
    const std::string& verb = w[0];
    const fs::path call = folder / "mapi-call.txt";
    if (verb == "mapi" || verb == "mailer") {
        // set up before the start
    } else if (verb == "send") {
        HWND dialog = nullptr;
        EXPECT_TRUE(WaitFor(
            [&] { return (dialog = testkit::FindProcessWindow(process, L"TobriskWndClass")) != nullptr; }));
        HWND button = dialog ? GetDlgItem(dialog, 100) : nullptr;
        EXPECT_TRUE(button) << "no send button";
        if (button) PostMessageW(button, BM_CLICK, 0, 0);
    } else if (verb == "mapi-call") {
        EXPECT_TRUE(WaitFor([&] { return fs::exists(call); })) << "the mail interface was not called";
        const std::string line = w[1] + "=" + Joined(w, 2);
        EXPECT_TRUE(HasLine(::crashtest::ReadFileText(call), line)) << line << " not in\n"
                                                                    << ::crashtest::ReadFileText(call);
    } else if (verb == "mapi-release") {
        std::ofstream(folder / "mapi-release.txt") << "release";
    } else if (verb == "mapi-attached") {
        EXPECT_TRUE(WaitFor([&] { return fs::exists(call); })) << "the mail interface was not called";
        const std::string text = ::crashtest::ReadFileText(call);
        bool found = false;
        for (const std::string& line : ::crashtest::TextLines(text))
            found = found || line.rfind("attachment=-1 " + w[1] + " ", 0) == 0;
        EXPECT_TRUE(found) << w[1] << " not attached at -1:\n" << text;
        EXPECT_TRUE(fs::exists(folder / ("mapi-attached-" + w[1])));
    } else if (verb == "mapi-attached-line") {
        const std::regex re(rest.substr(w[1].size() + 1));
        bool found = false;
        for (const std::string& line :
             ::crashtest::TextLines(::crashtest::ReadFileText(folder / ("mapi-attached-" + w[1]))))
            found = found || std::regex_search(line, re);
        EXPECT_TRUE(found) << "no line of the attached " << w[1] << " matches " << rest;
    } else if (verb == "screenshot-shows") {
        CheckScreenshot(folder / ("mapi-attached-" + w[1]), folder, std::stoi(w[2]), std::stoi(w[3]),
                        {std::stoi(w[4]), std::stoi(w[5]), std::stoi(w[6])});
    } else if (verb == "no-mapi-call") {
        EXPECT_FALSE(fs::exists(call));
    } else if (verb == "mailer-command") {
        const fs::path file = folder / "mailer-command.txt";
        EXPECT_TRUE(WaitFor([&] { return fs::exists(file); })) << "the mail program was not started";
        // std::regex recurses per character: only the start of the line,
        // where the header stands.
        const std::string start = ::crashtest::ReadFileText(file).substr(0, 4096);
        EXPECT_TRUE(std::regex_search(start, std::regex(rest))) << start.substr(0, 2000);
    } else if (verb == "mailer-link-whole") {
        // At most N characters (UTF-8 on disk, the link is ASCII), and from
        // "mailto:" on nothing that ends an argument: no blank, no control
        // character, a quote only as the line's last character.
        const std::string line = ::crashtest::ReadFileText(folder / "mailer-command.txt");
        EXPECT_LE(line.size(), std::stoul(w[1]));
        const size_t link = line.find("mailto:");
        EXPECT_NE(link, std::string::npos);
        for (size_t i = link; i < line.size(); ++i) {
            const auto c = static_cast<unsigned char>(line[i]);
            EXPECT_FALSE(c <= ' ' || c == 0x7F || (c == '"' && i + 1 < line.size()))
                << "character " << int(c) << " at " << i << " ends the link";
            if (::testing::Test::HasFailure()) break;
        }
    } else if (verb == "no-mailer-command") {
        EXPECT_FALSE(fs::exists(folder / "mailer-command.txt"));
    } else if (verb == "send-failed-box") {
        HWND box = nullptr;
        EXPECT_TRUE(WaitFor([&] {
            return (box = testkit::FindProcessWindow(process, L"#32770")) != nullptr;
        })) << "no box";
        if (!box) return true;
        EXPECT_EQ(BoxText(box), rest);
        wchar_t title[64] = {};
        GetWindowTextW(box, title, 64);
        EXPECT_EQ(Narrow(title), "Error") << "not the system's default error title";
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(WaitFor([&] { return !IsWindow(box); })) << "the box stays";
    } else if (verb == "screen-shows") {
        const int x = std::stoi(w[1]), y = std::stoi(w[2]);
        const int rgb[3] = {std::stoi(w[3]), std::stoi(w[4]), std::stoi(w[5])};
        COLORREF seen = CLR_INVALID;
        auto matches = [&] {
            HDC screen = GetDC(nullptr);
            seen = GetPixel(screen, x, y);
            ReleaseDC(nullptr, screen);
            const int got[3] = {GetRValue(seen), GetGValue(seen), GetBValue(seen)};
            for (int c = 0; c < 3; ++c)
                if (seen == CLR_INVALID || std::abs(got[c] - rgb[c]) > 24) return false;
            return true;
        };
        EXPECT_TRUE(WaitFor(matches)) << "the screen shows " << std::hex << seen;
    } else if (verb == "click-window") {
        HWND window = nullptr;
        EXPECT_TRUE(WaitFor(
            [&] { return (window = testkit::FindProcessWindow(process, Widen(w[1]).c_str())) != nullptr; }));
        if (window) {
            PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
            PostMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
        }
    } else if (verb == "file-gone") {
        EXPECT_TRUE(WaitFor([&] { return !fs::exists(folder / w[1]); })) << w[1] << " stays";
    } else {
        return false;
    }
    return true;
}

}  // namespace qr::crashtest
