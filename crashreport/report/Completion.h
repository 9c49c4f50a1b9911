#pragma once
// Completing a report: the slow sections written one after another, each
// in its own error guard, then the call-stack checksums.
#include <functional>
#include <vector>

#include "crashreport/report/BugReport.h"

namespace qr {

struct TReportStep {
    AnsiString Section;   // the section it writes
    AnsiString StepName;  // named in ">> internal error in <name>"
    std::function<AnsiString()> Compute;
};

// The location line of the error being handled, called inside its catch
// block; empty when the error's address is not known.
using TErrorLocation = std::function<AnsiString()>;

// Writes every step's section in order and stops early, leaving the
// remaining placeholders, once the report is aborted. When all steps ran,
// sets "callstack crc" from `callstackCrc` and marks the report complete.
// Returns whether it completed.
bool RunCompletion(TBugReport& report, const std::vector<TReportStep>& steps,
                   const std::function<AnsiString()>& callstackCrc, const TErrorLocation& errorLocation = {});

// ">> internal error in <step>", and when `location` (the failing
// address's location line) is known, ":", a line break and that line.
AnsiString InternalErrorText(std::string_view step, const AnsiString& location = {});
// The same for the error being handled (inside its catch block).
AnsiString InternalErrorText(std::string_view step, const TErrorLocation& errorLocation);

constexpr const char* kCalculatedSoon = ">> will be calculated soon";

}  // namespace qr
