// Windows answers for placeholder expansion.
#include <windows.h>
#include <shlobj.h>

#include <vector>

#include "base/win32/WideText.h"
#include "crashreport/system/ModuleFiles_win32.h"
#include "crashreport/system/SystemQueries.h"

namespace qr {

using win32::FromWide;

namespace {

UString SpecialFolder(int csidl) {
    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path))) return {};
    return FromWide(path);
}

class TWin32SystemQueries : public ISystemQueries {
public:
    UString ProgramFileName() override {
        std::wstring name = ModuleFileName(nullptr);
        return FromWide(name.data(), name.size());
    }

    std::optional<std::array<uint16_t, 4>> FileVersion(const UString& fileName) override {
        return FileVersionNumbers(win32::Wide(fileName));
    }

    TLocalTime LocalTime() override {
        SYSTEMTIME t{};
        GetLocalTime(&t);
        return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
    }

    UString ComputerName() override {
        wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
        DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
        if (!GetComputerNameW(name, &size)) return {};
        return FromWide(name);
    }

    UString DesktopFolder() override { return SpecialFolder(CSIDL_DESKTOPDIRECTORY); }
    UString UserAppDataFolder() override { return SpecialFolder(CSIDL_APPDATA); }
    UString CommonAppDataFolder() override { return SpecialFolder(CSIDL_COMMON_APPDATA); }
};

}  // namespace

std::unique_ptr<ISystemQueries> CreateSystemQueries() { return std::make_unique<TWin32SystemQueries>(); }

}  // namespace qr
