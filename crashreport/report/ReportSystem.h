#pragma once
// What the report asks the system about the machine, the program and its
// threads. Windows answers in ReportSystem_win32.cpp; tests use fakes.
// Every query may raise: the report leaves out what fails.
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "base/Text.h"
#include "crashreport/system/SystemQueries.h"
#include "crashreport/report/HeaderFormats.h"
#include "crashreport/report/OsName.h"
#include "crashreport/report/SectionFormats.h"
#include "crashreport/report/ThreadNames.h"
#include "crashreport/stack/StackWalkSteps.h"

namespace qr {

// One thread of the process as the report sees it.
struct TThreadState {
    TThreadEntry Entry;
    bool Suspended = false;
    int Priority = 0;        // 0: normal
    bool Accessible = true;  // its context and stack could be read
    uint64_t InstructionPointer = 0;
    uint64_t StackPointer = 0;
    std::vector<unsigned char> Context = {};  // the system's context record; empty: not taken
};

class IReportSystem {
public:
    virtual ~IReportSystem() = default;

    // Header items.
    virtual AnsiString ComputerName() = 0;
    virtual AnsiString RemoteClientName() = 0;  // empty outside a remote-desktop session
    virtual AnsiString UserName() = 0;
    virtual bool UserIsAdministrator() = 0;
    virtual AnsiString RegisteredOwner() = 0;
    virtual AnsiString RegisteredOrganization() = 0;
    virtual TOsVersion OperatingSystem() = 0;
    virtual AnsiString SystemLanguage() = 0;
    virtual uint64_t SystemUpTime() = 0;  // milliseconds
    virtual AnsiString ProcessorName() = 0;
    virtual unsigned ProcessorCount() = 0;
    virtual std::pair<uint64_t, uint64_t> PhysicalMemory() = 0;  // free, total bytes
    virtual char DecimalSeparator() = 0;
    virtual TDriveSpace SystemDrive() = 0;
    virtual std::optional<TDriveSpace> ProgramDrive() = 0;
    struct TDisplay {
        int Width = 0, Height = 0, Bits = 0;
    };
    virtual TDisplay DisplayMode() = 0;
    virtual uint32_t ProcessId() = 0;
    virtual uint64_t AllocatedMemory() = 0;    // committed, outside module images
    virtual AnsiString CommandLine() = 0;      // empty without parameters
    virtual AnsiString ProgramFileName() = 0;  // full path
    virtual std::optional<TLocalTime> ProgramFileTime() = 0;
    virtual AnsiString ProgramVersion() = 0;  // empty without a version resource

    // Sections.
    virtual uint32_t CurrentThreadId() = 0;
    // Every thread of the process in the system's order.
    virtual std::vector<TThreadState> Threads() = 0;
    // What is known of a code address before the stack walk names it.
    virtual TCodeLocation Locate(uint64_t address) = 0;
    // The walk of a thread's call stack (its steps not run yet); `context`
    // is the thread's processor context as raw bytes (empty: the calling
    // thread from where it is). Null when the system cannot walk this
    // stack; the report then shows the innermost location.
    virtual std::unique_ptr<IStackWalk> StackWalk(uint32_t /*threadId*/,
                                                  const std::vector<unsigned char>& /*context*/) {
        return nullptr;
    }
    // Names a stack item as far as known; a return address by the line of
    // its call, with offsets of its own.
    virtual TCodeLocation NameFrame(const TStackFrame& frame) { return Locate(frame.Address); }
    // The "disassembling" section's content for the function around
    // `address`, at most the `limit` lines around it (0: all); empty when
    // the system cannot disassemble.
    virtual AnsiString Disassembling(uint64_t /*address*/, int /*limit*/) { return {}; }
    // The bytes from `address` to the end of its memory region, at most
    // `maxBytes`.
    virtual std::vector<unsigned char> ReadStack(uint64_t address, size_t maxBytes) = 0;
    // Bytes from `stackPointer` to the end of its stack's memory region (0:
    // unknown); what the please-wait window weighs a thread's walk by.
    virtual uint64_t StackRangeSize(uint64_t /*stackPointer*/) { return 0; }
    virtual std::vector<TModuleLine> Modules() = 0;
    virtual std::vector<TProcessLine> Processes() = 0;
    virtual std::vector<TDeviceLine> Hardware() = 0;
};

std::unique_ptr<IReportSystem> CreateReportSystem();

// The text of "compiled with", fixed when the program is built.
AnsiString CompiledWith();

}  // namespace qr
