#pragma once
// How the report header writes numbers, sizes, durations, times and the
// exception's message.
#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>

#include "base/Text.h"
#include "crashreport/system/SystemQueries.h"

namespace qr {

// "512 Bytes", "1.5 KB", "12.0 MB", "3.2 GB" (1024-based, one decimal).
AnsiString FormatSize(uint64_t bytes, char decimalSeparator);

// Two units, each as "<count> <unit>[s] "; units with count 0 left out.
AnsiString FormatDuration(uint64_t milliseconds);
// As FormatDuration, but "<n> milliseconds" below one second.
AnsiString FormatProgramUpTime(uint64_t milliseconds);

// "2024-03-07, 09:05:03, 7ms"
AnsiString FormatFailureTime(const TLocalTime& time);
// "2024-03-07 09:05"
AnsiString FormatFileTime(const TLocalTime& time);

// Trailing "." and "!" removed, one "." added.
AnsiString ExceptionMessageText(std::string_view message);

// Lower-case hexadecimal without leading zeros; with `digits`, zero-padded.
AnsiString Hex(uint64_t value, int digits = 0);

// The processor item's name and value; the count is capped at 16.
std::pair<AnsiString, AnsiString> ProcessorItem(std::string_view processorName, unsigned count);

// "<free>/<total> MB (free/total)", rounded to the nearest megabyte.
AnsiString FormatPhysicalMemory(uint64_t freeBytes, uint64_t totalBytes);

struct TDriveSpace {
    char Letter = 'C';
    uint64_t FreeBytes = 0;
};
// "(C:) 12.3 GB", and the program's drive after a blank when it differs.
AnsiString FormatFreeDiskSpace(const TDriveSpace& systemDrive, const std::optional<TDriveSpace>& programDrive,
                               char decimalSeparator);

// Whether a command line has more than the program's name.
bool CommandLineHasParameters(std::u16string_view commandLine);

// "1024x768, 32 bit"
AnsiString FormatDisplayMode(int width, int height, int bitsPerPixel);

}  // namespace qr
