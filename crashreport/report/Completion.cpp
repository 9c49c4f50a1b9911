#include "crashreport/report/Completion.h"

namespace qr {

AnsiString InternalErrorText(std::string_view step) { return ">> internal error in " + AnsiString(step); }

bool RunCompletion(TBugReport& report, const std::vector<TReportStep>& steps,
                   const std::function<AnsiString()>& callstackCrc) {
    for (const TReportStep& step : steps) {
        if (report.Aborted()) return false;
        AnsiString text;
        try {
            text = step.Compute();
        } catch (...) {
            // A failing step must never take the crash reporter down with it.
            text = InternalErrorText(step.StepName);
        }
        report.Sections().Set(step.Section, text);
    }
    if (report.Aborted()) return false;
    AnsiString crc;
    try {
        crc = callstackCrc();
    } catch (...) {
        crc.clear();
    }
    report.Header().Set("callstack crc", crc);
    report.MarkComplete();
    return true;
}

}  // namespace qr
