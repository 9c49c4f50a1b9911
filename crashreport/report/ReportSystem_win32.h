#pragma once
// The Windows report system and the helpers its two files share.
#include <windows.h>

#include <optional>
#include <stdexcept>
#include <string>

#include "base/win32/Handles.h"
#include "crashreport/system/ModuleFiles_win32.h"
#include "crashreport/report/ReportSystem.h"
#include "crashreport/stack/CodeNamer.h"
#include "crashreport/stack/ModuleImages.h"

namespace qr {

AnsiString Narrow(const wchar_t* text);
AnsiString Narrow(const std::wstring& text);
// "1.2.3.4", empty when the file has no version.
AnsiString FileVersionText(const std::wstring& fileName);
std::optional<std::wstring> RegistryText(HKEY root, const wchar_t* key, const wchar_t* value);
TLocalTime ToLocalTime(const FILETIME& utc);

class TWin32ReportSystem : public IReportSystem {
public:
    AnsiString ComputerName() override;
    AnsiString RemoteClientName() override;
    AnsiString UserName() override;
    bool UserIsAdministrator() override;
    AnsiString RegisteredOwner() override;
    AnsiString RegisteredOrganization() override;
    TOsVersion OperatingSystem() override;
    AnsiString SystemLanguage() override;
    uint64_t SystemUpTime() override;
    AnsiString ProcessorName() override;
    unsigned ProcessorCount() override;
    std::pair<uint64_t, uint64_t> PhysicalMemory() override;
    char DecimalSeparator() override;
    TDriveSpace SystemDrive() override;
    std::optional<TDriveSpace> ProgramDrive() override;
    TDisplay DisplayMode() override;
    uint32_t ProcessId() override;
    uint64_t AllocatedMemory() override;
    AnsiString CommandLine() override;
    AnsiString ProgramFileName() override;
    std::optional<TLocalTime> ProgramFileTime() override;
    AnsiString ProgramVersion() override;
    uint32_t CurrentThreadId() override;
    std::vector<TThreadState> Threads() override;
    uint64_t StackRangeSize(uint64_t stackPointer) override;
    TCodeLocation Locate(uint64_t address) override;
    AnsiString Disassembling(uint64_t address, int limit) override;
    std::unique_ptr<IStackWalk> StackWalk(uint32_t threadId,
                                          const std::vector<unsigned char>& context) override;
    TCodeLocation NameFrame(const TStackFrame& frame) override;
    std::vector<unsigned char> ReadStack(uint64_t address, size_t maxBytes) override;
    std::vector<TModuleLine> Modules() override;
    std::vector<TProcessLine> Processes() override;
    std::vector<TDeviceLine> Hardware() override;

private:
    // Maps and export tables, read once per module while the report is made.
    TCodeNamer FNamer{LoadedModuleAt};
};

}  // namespace qr
