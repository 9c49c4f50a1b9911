#include "crashreport/report/HeaderFormats.h"

#include <cctype>
#include <cstdio>

namespace qr {

AnsiString Hex(uint64_t value, int digits) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%0*llx", digits, static_cast<unsigned long long>(value));
    return buffer;
}

AnsiString FormatSize(uint64_t bytes, char decimalSeparator) {
    if (bytes < 1024) return std::to_string(bytes) + " Bytes";
    static const char* const units[] = {" KB", " MB", " GB"};
    int unit = 0;
    uint64_t scale = 1024;
    while (unit < 2 && bytes / scale >= 1024) {
        scale *= 1024;
        ++unit;
    }
    // Tenths rounded to the nearest, in integers so that no value is off by
    // a floating-point step.
    uint64_t tenths = (bytes / scale) * 10 + ((bytes % scale) * 10 + scale / 2) / scale;
    return std::to_string(tenths / 10) + decimalSeparator + std::to_string(tenths % 10) + units[unit];
}

namespace {

AnsiString Unit(uint64_t count, const char* word) {
    if (count == 0) return {};
    return std::to_string(count) + " " + word + (count == 1 ? "" : "s") + " ";
}

}  // namespace

AnsiString FormatDuration(uint64_t milliseconds) {
    uint64_t seconds = milliseconds / 1000;
    uint64_t days = seconds / 86400, hours = seconds / 3600 % 24, minutes = seconds / 60 % 60;
    if (days) return Unit(days, "day") + Unit(hours, "hour");
    if (hours) return Unit(hours, "hour") + Unit(minutes, "minute");
    return Unit(minutes, "minute") + Unit(seconds % 60, "second");
}

AnsiString FormatProgramUpTime(uint64_t milliseconds) {
    if (milliseconds < 1000) return std::to_string(milliseconds) + " milliseconds";
    return FormatDuration(milliseconds);
}

AnsiString FormatFailureTime(const TLocalTime& t) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d, %02d:%02d:%02d, %dms", t.Year, t.Month, t.Day,
                  t.Hour, t.Minute, t.Second, t.Millisecond);
    return buffer;
}

AnsiString FormatFileTime(const TLocalTime& t) {
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d", t.Year, t.Month, t.Day, t.Hour,
                  t.Minute);
    return buffer;
}

AnsiString ExceptionMessageText(std::string_view message) {
    while (!message.empty() && (message.back() == '.' || message.back() == '!')) message.remove_suffix(1);
    return AnsiString(message) + ".";
}

std::pair<AnsiString, AnsiString> ProcessorItem(std::string_view processorName, unsigned count) {
    AnsiString name;
    for (char c : processorName) {
        if (c == ' ' && (name.empty() || name.back() == ' ')) continue;
        name += c;
    }
    while (!name.empty() && name.back() == ' ') name.pop_back();
    if (count > 16) count = 16;
    // Without a name there is nothing to count: the item is left out.
    if (name.empty()) return {count > 1 ? "processors" : "processor", ""};
    if (count <= 1) return {"processor", name};
    return {"processors", std::to_string(count) + "x " + name};
}

AnsiString FormatPhysicalMemory(uint64_t freeBytes, uint64_t totalBytes) {
    const uint64_t mb = 1024 * 1024;
    return std::to_string((freeBytes + mb / 2) / mb) + "/" + std::to_string((totalBytes + mb / 2) / mb) +
           " MB (free/total)";
}

AnsiString FormatFreeDiskSpace(const TDriveSpace& systemDrive, const std::optional<TDriveSpace>& programDrive,
                               char decimalSeparator) {
    auto one = [&](const TDriveSpace& d) {
        return AnsiString("(") + char(std::toupper(static_cast<unsigned char>(d.Letter))) + ":) " +
               FormatSize(d.FreeBytes, decimalSeparator);
    };
    AnsiString text = one(systemDrive);
    if (programDrive && std::toupper(static_cast<unsigned char>(programDrive->Letter)) !=
                            std::toupper(static_cast<unsigned char>(systemDrive.Letter)))
        text += " " + one(*programDrive);
    return text;
}

bool CommandLineHasParameters(std::u16string_view line) {
    size_t i = 0;
    while (i < line.size() && (line[i] == u' ' || line[i] == u'\t')) ++i;
    if (i < line.size() && line[i] == u'"') {
        size_t close = line.find(u'"', i + 1);
        i = close == std::u16string_view::npos ? line.size() : close + 1;
    }
    while (i < line.size() && line[i] != u' ' && line[i] != u'\t') ++i;
    while (i < line.size() && (line[i] == u' ' || line[i] == u'\t')) ++i;
    return i < line.size();
}

AnsiString FormatDisplayMode(int width, int height, int bitsPerPixel) {
    return std::to_string(width) + "x" + std::to_string(height) + ", " + std::to_string(bitsPerPixel) +
           " bit";
}

}  // namespace qr
