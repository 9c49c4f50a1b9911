// clang-format off
//! dialog continue=enabled restart=enabled close=enabled
//! press restart
//! exit 2
//! wait-file restarted.txt
//! file restarted.txt restarted from {pid} in the program's folder
//! report ^exception class +: ELongFolderFailure$
// clang-format on
//
// "restart application" from a current folder longer than MAX_PATH still
// starts the new instance, in the program's folder: no process can be
// given a current folder that long.
#include <string>

#include "tests/crash/CrashProgram.h"

namespace qr {
QR_DECLARE_EXCEPTION(ELongFolderFailure, Exception);
}

namespace {

using qr::crashtest::TCrashProgram;

// Six folders of 50 characters below the temporary folder: well past
// MAX_PATH. Made and removed through the "\\?\" form, which has no limit;
// not in the program's folder, which the driver could not empty again
// should a run leave them behind.
std::wstring LongFolder(int depth = 6) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + L"qr-long-folder";
    for (int i = 0; i < depth; ++i) folder += L"\\" + std::wstring(50, static_cast<wchar_t>(L'a' + i));
    return folder;
}

std::wstring Unlimited(const std::wstring& path) { return L"\\\\?\\" + path; }

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace qr;
    crashtest::TCrashProgram program;
    if (std::optional<uint32_t> old = program.Reporter.RestartedFrom()) {
        wchar_t now[2048] = {};
        GetCurrentDirectoryW(2048, now);
        std::wstring folder = now;
        if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
        const bool usable = folder == TCrashProgram::Folder();
        SetCurrentDirectoryW(TCrashProgram::Folder().c_str());
        for (int depth = 6; depth >= 0; --depth) RemoveDirectoryW(Unlimited(LongFolder(depth)).c_str());
        crashtest::TCrashProgram::WriteMarker(L"restarted.txt",
                                              L"restarted from " + std::to_wstring(*old) +
                                                  (usable ? L" in the program's folder" : L" in " + folder));
        return 0;
    }
    for (int depth = 0; depth <= 6; ++depth) CreateDirectoryW(Unlimited(LongFolder(depth)).c_str(), nullptr);
    if (LongFolder().size() <= MAX_PATH || !SetCurrentDirectoryW(LongFolder().c_str())) return 30;
    return program.RunFailing([] { throw ELongFolderFailure("Restart me from far away."); });
}
