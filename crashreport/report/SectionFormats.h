#pragma once
// Layout of the report sections that do not need the stack walk: the
// location line of a single address, "cpu registers", "stack dump" and the
// lines of the "modules", "processes" and "hardware" plug-ins.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "base/Text.h"

namespace qr {

// Hexadecimal digits of a code or data address in this build.
constexpr int kAddressDigits = int(sizeof(void*) * 2);

// What is known about one code address; the stack walk fills the names.
struct TCodeLocation {
    uint64_t Address = 0;
    std::optional<uint64_t> Offset;  // from the function's start
    AnsiString Module, Unit, Function;
    int Line = 0;                   // 0: unknown
    std::optional<int> LineOffset;  // from the function's first line
};

// One address written alone: address, " +offset", module and unit (each
// followed by a blank, empty or not), line and "+line offset" when known,
// the function name or "???"; an address without any name: address,
// " +offset" and " ???".
AnsiString FormatLocationLine(const TCodeLocation& location, bool showRelAddrs, bool showRelLines,
                              int digits = kAddressDigits);

// The items of one call stack, innermost first, in aligned columns:
// address, "+offset" zero-padded to the widest, module, unit, line and
// "+line offset" right-aligned, function. A column that no item fills is
// one blank wide.
AnsiString FormatStackLines(const std::vector<TCodeLocation>& items, bool showRelAddrs, bool showRelLines,
                            int digits = kAddressDigits);

// "<name> = <value>" lines, values with `digits` hexadecimal digits.
AnsiString FormatCpuRegisters(const std::vector<std::pair<AnsiString, uint64_t>>& registers,
                              int digits = kAddressDigits);

// Up to 20 lines of 16 bytes from `address`; `bytes` holds what lies
// between the address and the end of the stack's memory region.
AnsiString FormatStackDump(uint64_t address, const unsigned char* bytes, size_t size,
                           int digits = kAddressDigits);

struct TModuleLine {
    uint64_t Base = 0;
    AnsiString FileName, Version, Folder;
};
AnsiString FormatModules(std::vector<TModuleLine> modules, int digits = kAddressDigits);

struct TProcessLine {
    uint32_t Id = 0;
    AnsiString FileName;  // the idle process (id 0) is written "Idle"
    std::optional<uint32_t> SessionId;
    std::optional<uint32_t> GdiObjects, UserObjects;
    uint32_t PriorityClass = 0;  // Windows' priority class value; 0: unknown
    AnsiString Path;
};
AnsiString PriorityClassName(uint32_t priorityClass);
AnsiString FormatProcesses(const std::vector<TProcessLine>& processes);

struct TDeviceLine {
    AnsiString ClassName, Description, DriverProvider, DriverVersion, DriverDate;
};
// Classes and their devices sorted by name; drivers of other providers
// than Microsoft named with their version (or date).
AnsiString FormatHardware(const std::vector<TDeviceLine>& devices);

}  // namespace qr
