#pragma once
// Expansion of the placeholders that the crash reporter's text settings
// may hold (%appname%, %LF%, %date% and the others).
#include <optional>

#include "base/Text.h"
#include "crashreport/system/SystemQueries.h"

namespace qr {

// What one failure adds to the expansion; every field may be missing.
struct TPlaceholderContext {
    std::optional<UString> ModuleFileName;  // module of the failure; the program file when missing
    std::optional<UString> ExceptClass;     // "Unknown" when missing
    std::optional<UString> ExceptMessage;   // "Unknown" when missing
    std::optional<UString> BugReport;       // "%bugReport%" stays when missing
    std::optional<TLocalTime> Time;         // the current local time when missing
};

// Replaces every occurrence of each placeholder, one placeholder after the
// other in a fixed order, matching exactly as written. Text that a
// replacement puts in is not searched again, so a report or message that
// holds a placeholder's name keeps it. The system is asked only for what
// the text needs.
UString ExpandPlaceholders(const UString& text, ISystemQueries& system,
                           const TPlaceholderContext& context = {});

// "2024-03-07" and "09:05:03, 7ms": zero-padded fields, the milliseconds
// without leading zeros.
UString FormatPlaceholderDate(const TLocalTime& time);
UString FormatPlaceholderTime(const TLocalTime& time);

}  // namespace qr
