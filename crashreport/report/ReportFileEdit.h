#pragma once
// Editing the report file's content for a new report: repeated failures
// collapsed into one report with a "count", the oldest reports dropped
// when the file has grown past its size limit.
#include <cstdint>
#include <optional>
#include <string_view>

#include "base/Text.h"

namespace qr {

class TIMESettings;

struct TReportFileRules {
    bool Append = true;
    int64_t SizeLimit = 100000;  // 0 (or less): no limit
    bool NoDupExcepts = true;
    int DupExceptDef = 1;  // 0, 1, 2: the first one, two or three checksums
    bool NoDupFreezes = true;
    int DupFreezeDef = 2;
};

TReportFileRules ReportFileRulesFrom(const TIMESettings& settings);

// Anybody can edit the file: only this many bytes from its end are read.
// A larger file counts as over the size limit.
constexpr uint64_t kReportFileSaneSize = 16 * 1024 * 1024;

// The text after the first line that begins with `name`, blanks, ":" and
// one more character; none when there is no such line or its first
// non-blank character after the name is not ":".
std::optional<AnsiString> NamedLineValue(std::string_view text, std::string_view name);

// A report's header block: its lines up to the first empty one. User text
// (contact data, error details, plug-in sections, messages) below it never
// counts as one of the report's named values.
std::string_view HeaderBlock(std::string_view report);
// NamedLineValue of the report's header block.
std::optional<AnsiString> HeaderValue(std::string_view report, std::string_view name);

// The whole new file content. `old` is the file's content, or only its last
// part when `oldIsTail` (the file was larger than kReportFileSaneSize); its
// start then does not count as the start of a report.
AnsiString EditReportFile(std::string_view old, bool oldIsTail, uint64_t oldFileSize,
                          std::string_view newReport, const TReportFileRules& rules);

}  // namespace qr
