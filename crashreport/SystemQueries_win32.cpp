// Windows answers for placeholder expansion.
#include <windows.h>
#include <shlobj.h>

#include <vector>

#include "base/win32/WideText.h"
#include "crashreport/SystemQueries.h"

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
        // Long paths need more than MAX_PATH; grow until the name fits.
        std::vector<wchar_t> buffer(MAX_PATH);
        for (;;) {
            DWORD n = GetModuleFileNameW(nullptr, buffer.data(), DWORD(buffer.size()));
            if (n == 0) return {};
            if (n < buffer.size()) return FromWide(buffer.data());
            if (buffer.size() >= 32768) return {};
            buffer.resize(buffer.size() * 2);
        }
    }

    std::optional<std::array<uint16_t, 4>> FileVersion(const UString& fileName) override {
        auto name = win32::Wide(fileName);
        DWORD ignored = 0;
        DWORD size = GetFileVersionInfoSizeW(name, &ignored);
        if (size == 0) return std::nullopt;
        std::vector<char> data(size);
        if (!GetFileVersionInfoW(name, 0, size, data.data())) return std::nullopt;
        VS_FIXEDFILEINFO* info = nullptr;
        UINT length = 0;
        if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length) || !info ||
            length < sizeof(VS_FIXEDFILEINFO))
            return std::nullopt;
        return std::array<uint16_t, 4>{HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
                                       HIWORD(info->dwFileVersionLS), LOWORD(info->dwFileVersionLS)};
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
