// The send routine's Windows side: the report file deleted after a send
// only while it holds what was mailed, and the mail program's command line
// read from a registry value that lacks its terminator.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "base/win32/Handles.h"
#include "crashreport/send/SendSystem_win32.h"

namespace qr {
namespace {

namespace fs = std::filesystem;

UString Name(const fs::path& path) { return path.u16string(); }

TEST(SendSystemWindows, TheReportFileGoesOnlyWhileItHoldsWhatWasMailed) {
    const fs::path folder =
        fs::temp_directory_path() / ("qr-send-system-" + std::to_string(GetCurrentProcessId()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    const fs::path file = folder / "bugreport.txt";
    std::ofstream(file, std::ios::binary) << "mailed\r\n\r\nsaved since\r\n\r\n";
    TSendSystem system(nullptr, Name(folder) + u"\\", false);
    EXPECT_EQ(system.ReadWholeFile(Name(file)), "mailed\r\n\r\nsaved since\r\n\r\n");
    EXPECT_FALSE(system.ReadWholeFile(Name(folder / "missing.txt")));

    // Read-only, as a user may have made it: it stays so while it stays,
    // and goes all the same once it holds what was mailed.
    SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(system.DeleteFileIfContent(Name(file), "mailed\r\n\r\n"));
    EXPECT_TRUE(fs::exists(file));
    EXPECT_TRUE(GetFileAttributesW(file.c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(system.DeleteFileIfContent(Name(file), "mailed\r\n\r\nsaved since\r\n\r\n"));
    EXPECT_FALSE(fs::exists(file));
    EXPECT_FALSE(system.DeleteFileIfContent(Name(file), ""));
    fs::remove_all(folder);
}

// Sets the default mail program's command to raw bytes and restores the
// value it had.
class TMailerValue {
public:
    TMailerValue() {
        HKEY opened = nullptr;
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, kKey, 0, KEY_QUERY_VALUE, &opened) == ERROR_SUCCESS) {
            win32::TRegKey key(opened);
            DWORD bytes = sizeof FOld - sizeof(wchar_t);
            FHadOld = RegQueryValueExW(key.Get(), nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(FOld),
                                       &bytes) == ERROR_SUCCESS;
        }
    }
    ~TMailerValue() {
        if (FHadOld) Set(FOld, DWORD((wcslen(FOld) + 1) * sizeof(wchar_t)));
    }
    TMailerValue(const TMailerValue&) = delete;
    TMailerValue& operator=(const TMailerValue&) = delete;

    bool Set(const void* bytes, DWORD count) {
        HKEY created = nullptr;
        if (RegCreateKeyExW(HKEY_CLASSES_ROOT, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &created,
                            nullptr) != ERROR_SUCCESS)
            return false;
        win32::TRegKey key(created);
        return RegSetValueExW(key.Get(), nullptr, 0, REG_SZ, static_cast<const BYTE*>(bytes), count) ==
               ERROR_SUCCESS;
    }

private:
    static constexpr wchar_t kKey[] = L"mailto\\shell\\open\\command";
    wchar_t FOld[1024] = {};
    bool FHadOld = false;
};

TEST(SendSystemWindows, AMailProgramValueWithoutTerminatorOrWithAnOddByteCountEnds) {
    TMailerValue mailer;
    TSendSystem system(nullptr, u"", false);
    // "mail.exe %1" without its terminator, and with half a character more:
    // followed in memory by more text, which must not be read.
    const wchar_t text[] = L"mail.exe %1XXXXXXXXXXXXXXXX";
    ASSERT_TRUE(mailer.Set(text, 11 * sizeof(wchar_t)));
    EXPECT_EQ(system.MailProgramCommand(), u"mail.exe %1");
    ASSERT_TRUE(mailer.Set(text, 11 * sizeof(wchar_t) + 1));
    EXPECT_EQ(system.MailProgramCommand(), u"mail.exe %1");
}

// A user folder whose name the ANSI code page cannot carry: the mail
// interface gets the short form, which names the same file.
TEST(SendSystemWindows, AttachmentPathsOutsideTheCodePageGoShort) {
    const fs::path base =
        fs::temp_directory_path() / ("qr-mail-path-" + std::to_string(GetCurrentProcessId()));
    const fs::path folder =
        base / u"\u0391\u03b8\u03b7\u03bd\u03ac \u041c\u0438\u0440";  // Greek and Cyrillic
    fs::remove_all(base);
    fs::create_directories(folder);
    const fs::path file = folder / "bugreport.txt";
    std::ofstream(file, std::ios::binary) << "report";

    const AnsiString plain = MailAttachmentPath(Name(base / "bugreport.txt"));
    EXPECT_EQ(plain, UnicodeToAnsi(Name(base / "bugreport.txt"))) << "a path the code page holds stays";
    const AnsiString path = MailAttachmentPath(Name(file));
    EXPECT_EQ(path.find('?'), AnsiString::npos) << path;
    EXPECT_NE(path, UnicodeToAnsi(Name(file)));
    EXPECT_NE(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES) << path;
    fs::remove_all(base);
}

}  // namespace
}  // namespace qr
