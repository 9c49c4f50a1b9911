// Windows answers for the report header. The thread, process and device
// lists are in ReportLists_win32.cpp.
#include <windows.h>
#include <psapi.h>
#include <wtsapi32.h>

#include <cstring>
#include <memory>
#include <vector>

#include "base/win32/WideText.h"
#include "crashreport/system/ModuleFiles_win32.h"
#include "crashreport/report/ReportSystem.h"
#include "crashreport/report/ReportSystem_win32.h"
#include "crashreport/stack/Disassembly.h"
#include "crashreport/stack/StackWalk.h"

namespace qr {

AnsiString Narrow(const wchar_t* text) { return UnicodeToAnsi(win32::FromWide(text)); }

AnsiString Narrow(const std::wstring& text) {
    return UnicodeToAnsi(win32::FromWide(text.data(), text.size()));
}

AnsiString FileVersionText(const std::wstring& fileName) {
    auto v = FileVersionNumbers(fileName.c_str());
    if (!v) return {};
    return std::to_string((*v)[0]) + "." + std::to_string((*v)[1]) + "." + std::to_string((*v)[2]) + "." +
           std::to_string((*v)[3]);
}

std::optional<std::wstring> RegistryText(HKEY root, const wchar_t* key, const wchar_t* value) {
    DWORD bytes = 0;
    if (RegGetValueW(root, key, value, RRF_RT_REG_SZ, nullptr, nullptr, &bytes) != ERROR_SUCCESS)
        return std::nullopt;
    std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = DWORD(text.size() * sizeof(wchar_t));
    if (RegGetValueW(root, key, value, RRF_RT_REG_SZ, nullptr, text.data(), &bytes) != ERROR_SUCCESS)
        return std::nullopt;
    text.resize(wcsnlen(text.c_str(), text.size()));
    return text;
}

TLocalTime ToLocalTime(const FILETIME& utc) {
    FILETIME local{};
    SYSTEMTIME t{};
    if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &t)) return {};
    return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

namespace {

const wchar_t* const kProcessorKey = L"HARDWARE\\DESCRIPTION\\System\\CentralProcessor";

std::optional<TDriveSpace> DriveOf(const std::wstring& path) {
    if (path.size() < 2 || path[1] != L':') return std::nullopt;
    std::wstring root = path.substr(0, 2) + L"\\";
    ULARGE_INTEGER free{};
    if (!GetDiskFreeSpaceExW(root.c_str(), &free, nullptr, nullptr)) throw std::runtime_error("disk");
    return TDriveSpace{char(path[0]), free.QuadPart};
}

bool IsAdministrator() {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID sid = nullptr;
    if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0,
                                  0, &sid))
        return false;
    std::unique_ptr<void, decltype(&FreeSid)> owned(sid, &FreeSid);
    BOOL member = FALSE;
    return CheckTokenMembership(nullptr, sid, &member) && member;
}

}  // namespace

AnsiString TWin32ReportSystem::ComputerName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    return GetComputerNameW(name, &size) ? Narrow(name) : AnsiString();
}

AnsiString TWin32ReportSystem::RemoteClientName() {
    if (!GetSystemMetrics(SM_REMOTESESSION)) return {};
    wchar_t* buffer = nullptr;
    DWORD bytes = 0;
    if (!WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, WTSClientName, &buffer,
                                     &bytes))
        return {};
    std::unique_ptr<void, decltype(&WTSFreeMemory)> owned(buffer, &WTSFreeMemory);
    return Narrow(buffer);
}

AnsiString TWin32ReportSystem::UserName() {
    wchar_t name[257] = {};
    DWORD size = 257;
    return GetUserNameW(name, &size) ? Narrow(name) : AnsiString();
}

bool TWin32ReportSystem::UserIsAdministrator() { return IsAdministrator(); }

AnsiString TWin32ReportSystem::RegisteredOwner() {
    return Narrow(RegistryText(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
                               L"RegisteredOwner")
                      .value_or(L""));
}

AnsiString TWin32ReportSystem::RegisteredOrganization() {
    return Narrow(RegistryText(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
                               L"RegisteredOrganization")
                      .value_or(L""));
}

TOsVersion TWin32ReportSystem::OperatingSystem() {
    // GetVersionEx lies to programs without a compatibility manifest entry;
    // ntdll's RtlGetVersion does not.
    using TRtlGetVersion = LONG(WINAPI*)(OSVERSIONINFOEXW*);
    auto rtlGetVersion = reinterpret_cast<TRtlGetVersion>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
    OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (!rtlGetVersion || rtlGetVersion(&info) != 0) throw std::runtime_error("version");
    TOsVersion os;
    os.Platform = info.dwPlatformId == VER_PLATFORM_WIN32_NT        ? TOsPlatform::NT
                  : info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS ? TOsPlatform::Win9x
                                                                    : TOsPlatform::None;
    os.Major = info.dwMajorVersion;
    os.Minor = info.dwMinorVersion;
    os.Build = info.dwBuildNumber & 0xFFFF;
    os.Workstation = info.wProductType == VER_NT_WORKSTATION;
    os.ServicePack = Narrow(info.szCSDVersion);
    os.R2 = os.Major == 5 && os.Minor == 2 && GetSystemMetrics(SM_SERVERR2) != 0;
    os.TabletPC = GetSystemMetrics(SM_TABLETPC) != 0;
    os.Starter = GetSystemMetrics(SM_STARTER) != 0;
    os.MediaCenter = GetSystemMetrics(SM_MEDIACENTER) != 0;
#if defined(_WIN64)
    os.X64 = true;
#else
    BOOL wow = FALSE;
    os.X64 = IsWow64Process(GetCurrentProcess(), &wow) && wow;
#endif
    return os;
}

AnsiString TWin32ReportSystem::SystemLanguage() {
    wchar_t name[128] = {};
    return GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, LOCALE_SENGLANGUAGE, name, 128) ? Narrow(name)
                                                                                 : AnsiString();
}

uint64_t TWin32ReportSystem::SystemUpTime() { return GetTickCount64(); }

AnsiString TWin32ReportSystem::ProcessorName() {
    std::wstring key = std::wstring(kProcessorKey) + L"\\0";
    return Narrow(RegistryText(HKEY_LOCAL_MACHINE, key.c_str(), L"ProcessorNameString").value_or(L""));
}

unsigned TWin32ReportSystem::ProcessorCount() {
    // The processors of the hardware description are its subkeys 0, 1, ...;
    // the report names at most 16.
    unsigned count = 0;
    while (count < 16) {
        std::wstring key = std::wstring(kProcessorKey) + L"\\" + std::to_wstring(count);
        DWORD bytes = 0;
        LSTATUS status =
            RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), nullptr, RRF_RT_ANY, nullptr, nullptr, &bytes);
        if (status == ERROR_FILE_NOT_FOUND && bytes == 0) {
            // The key may exist without a default value: ask for a value it has.
            status = RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"ProcessorNameString", RRF_RT_ANY,
                                  nullptr, nullptr, &bytes);
        }
        if (status != ERROR_SUCCESS) break;
        ++count;
    }
    return count;
}

std::pair<uint64_t, uint64_t> TWin32ReportSystem::PhysicalMemory() {
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    if (!GlobalMemoryStatusEx(&status)) throw std::runtime_error("memory");
    return {status.ullAvailPhys, status.ullTotalPhys};
}

char TWin32ReportSystem::DecimalSeparator() {
    wchar_t text[8] = {};
    if (!GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, text, 8) || text[0] == 0 || text[0] > 0x7F)
        return '.';
    return char(text[0]);
}

TDriveSpace TWin32ReportSystem::SystemDrive() {
    wchar_t folder[MAX_PATH] = {};
    if (!GetSystemDirectoryW(folder, MAX_PATH)) throw std::runtime_error("system folder");
    std::optional<TDriveSpace> drive = DriveOf(folder);
    if (!drive) throw std::runtime_error("system drive");
    return *drive;
}

std::optional<TDriveSpace> TWin32ReportSystem::ProgramDrive() {
    try {
        return DriveOf(ModuleFileName(nullptr));
    } catch (const std::runtime_error&) {
        return std::nullopt;
    }
}

IReportSystem::TDisplay TWin32ReportSystem::DisplayMode() {
    DEVMODEW mode{};
    mode.dmSize = sizeof mode;
    if (!EnumDisplaySettingsW(nullptr, ENUM_CURRENT_SETTINGS, &mode)) throw std::runtime_error("display");
    return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), int(mode.dmBitsPerPel)};
}

uint32_t TWin32ReportSystem::ProcessId() { return GetCurrentProcessId(); }

uint64_t TWin32ReportSystem::AllocatedMemory() {
    uint64_t total = 0;
    MEMORY_BASIC_INFORMATION info{};
    const char* address = nullptr;
    while (VirtualQuery(address, &info, sizeof info) == sizeof info) {
        if (info.State == MEM_COMMIT && info.Type != MEM_IMAGE) total += info.RegionSize;
        const char* next = static_cast<const char*>(info.BaseAddress) + info.RegionSize;
        if (next <= address) break;
        address = next;
    }
    return total;
}

AnsiString TWin32ReportSystem::CommandLine() {
    const wchar_t* line = GetCommandLineW();
    if (!line) return {};
    std::u16string_view text(reinterpret_cast<const char16_t*>(line));
    return CommandLineHasParameters(text) ? UnicodeToAnsi(text) : AnsiString();
}

AnsiString TWin32ReportSystem::ProgramFileName() { return Narrow(ModuleFileName(nullptr)); }

std::optional<TLocalTime> TWin32ReportSystem::ProgramFileTime() {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(ModuleFileName(nullptr).c_str(), GetFileExInfoStandard, &data))
        return std::nullopt;
    return ToLocalTime(data.ftLastWriteTime);
}

AnsiString TWin32ReportSystem::ProgramVersion() { return FileVersionText(ModuleFileName(nullptr)); }

uint32_t TWin32ReportSystem::CurrentThreadId() { return GetCurrentThreadId(); }

namespace {

// `name` was looked up for `address` or, for a return address, for the
// call in front of it; offsets are the address's own.
TCodeLocation Located(const TCodeName& name, uint64_t address) {
    TCodeLocation location{address,       std::nullopt, name.Module, name.Unit,
                           name.Function, name.Line,    std::nullopt};
    if (name.FunctionStart) location.Offset = address - *name.FunctionStart;
    // Code of the same file inlined from above the function has no offset.
    if (name.Line && name.FirstLine && name.Line >= name.FirstLine)
        location.LineOffset = name.Line - name.FirstLine;
    return location;
}

}  // namespace

namespace {

// Longer functions are listed from the location on.
constexpr uint64_t kMaxDisassembledBytes = 64 * 1024;

// The readable bytes of the module's code from `address` on.
std::vector<unsigned char> ReadCode(uint64_t address, uint64_t size) {
    std::vector<unsigned char> code(size_t(size), 0);
    SIZE_T read = 0;
    // The current process's pseudo handle: nothing to close.
    if (!ReadProcessMemory(GetCurrentProcess(), reinterpret_cast<const void*>(uintptr_t(address)),
                           code.data(), code.size(), &read))
        read = 0;
    code.resize(read);
    return code;
}

}  // namespace

TCodeLocation TWin32ReportSystem::Locate(uint64_t address) { return Located(FNamer.Name(address), address); }

AnsiString TWin32ReportSystem::Disassembling(uint64_t address, int limit) {
    TCodeName name = FNamer.Name(address);
    if (name.Module.empty()) return {};  // not code of a loaded module
    TDisasmFunction function;
    function.Name = name.Function;
    function.Marked = address;
    function.Is64 = sizeof(void*) == 8;
    function.Start = name.FunctionStart.value_or(address);
    uint64_t end = name.FunctionSize ? function.Start + name.FunctionSize : 0;
#if defined(_WIN64)
    // The unwind data knows every function's extent, named or not.
    DWORD64 imageBase = 0;
    if (PRUNTIME_FUNCTION entry = RtlLookupFunctionEntry(address, &imageBase, nullptr)) {
        if (!name.FunctionStart) function.Start = imageBase + entry->BeginAddress;
        end = imageBase + entry->EndAddress;
    }
#endif
    // Without a known end: the code from the entry to a little behind the location.
    if (end <= address) end = address + 64;
    if (address < function.Start || end - function.Start > kMaxDisassembledBytes) function.Start = address;
    std::vector<unsigned char> code = ReadCode(function.Start, end - function.Start);
    function.Code = std::move(code);
    function.LineOf = [this](uint64_t a) { return FNamer.Name(a).Line; };
    // Case jump tables lie in the module's read-only data.
    function.ReadData = [](uint64_t a) -> std::optional<uint32_t> {
        std::vector<unsigned char> bytes = ReadCode(a, 4);
        if (bytes.size() != 4) return std::nullopt;
        uint32_t value;
        std::memcpy(&value, bytes.data(), 4);
        return value;
    };
    return FormatDisassembly(function, limit, kAddressDigits);
}

std::unique_ptr<IStackWalk> TWin32ReportSystem::StackWalk(uint32_t threadId,
                                                          const std::vector<unsigned char>& context) {
    // Without a context only the calling thread can be walked, from here.
    if (context.empty() && threadId != GetCurrentThreadId()) return nullptr;
    return CreateStackWalk(context, FNamer);
}

TCodeLocation TWin32ReportSystem::NameFrame(const TStackFrame& frame) {
    // A return address belongs to the line of its call.
    return Located(FNamer.Name(frame.Return ? frame.Address - 1 : frame.Address), frame.Address);
}

std::vector<unsigned char> TWin32ReportSystem::ReadStack(uint64_t address, size_t maxBytes) {
    MEMORY_BASIC_INFORMATION info{};
    auto at = reinterpret_cast<const void*>(uintptr_t(address));
    if (VirtualQuery(at, &info, sizeof info) != sizeof info || info.State != MEM_COMMIT ||
        (info.Protect & (PAGE_GUARD | PAGE_NOACCESS)))
        return {};
    uint64_t end = uint64_t(uintptr_t(info.BaseAddress)) + info.RegionSize;
    std::vector<unsigned char> bytes(size_t(std::min<uint64_t>(maxBytes, end - address)));
    SIZE_T read = 0;
    // The current process's pseudo handle: nothing to close.
    if (!ReadProcessMemory(GetCurrentProcess(), at, bytes.data(), bytes.size(), &read)) read = 0;
    bytes.resize(read);
    return bytes;
}

std::vector<TModuleLine> TWin32ReportSystem::Modules() {
    std::vector<HMODULE> modules(256);
    DWORD needed = 0;
    for (;;) {
        if (!EnumProcessModules(GetCurrentProcess(), modules.data(), DWORD(modules.size() * sizeof(HMODULE)),
                                &needed))
            throw std::runtime_error("modules");
        if (needed <= modules.size() * sizeof(HMODULE)) break;
        modules.resize(needed / sizeof(HMODULE));
    }
    modules.resize(needed / sizeof(HMODULE));
    std::vector<TModuleLine> lines;
    for (HMODULE module : modules) {
        std::wstring path = ModuleFileName(module);
        size_t slash = path.find_last_of(L'\\');
        std::wstring folder = slash == std::wstring::npos ? L"" : path.substr(0, slash + 1);
        std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
        lines.push_back({uint64_t(uintptr_t(module)), Narrow(name), FileVersionText(path), Narrow(folder)});
    }
    return lines;
}

std::unique_ptr<IReportSystem> CreateReportSystem() { return std::make_unique<TWin32ReportSystem>(); }

}  // namespace qr
