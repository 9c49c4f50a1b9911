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

// Writes every step's section in order and stops early, leaving the
// remaining placeholders, once the report is aborted. When all steps ran,
// sets "callstack crc" from `callstackCrc` and marks the report complete.
// Returns whether it completed.
bool RunCompletion(TBugReport& report, const std::vector<TReportStep>& steps,
                   const std::function<AnsiString()>& callstackCrc);

// ">> internal error in <step>"
AnsiString InternalErrorText(std::string_view step);

constexpr const char* kCalculatedSoon = ">> will be calculated soon";

}  // namespace qr
