#include "crashreport/report/Completion.h"

namespace qr {

AnsiString InternalErrorText(std::string_view step, const AnsiString& location) {
    AnsiString text = ">> internal error in " + AnsiString(step);
    return location.empty() ? text : text + ":\r\n" + location;
}

AnsiString InternalErrorText(std::string_view step, const TErrorLocation& errorLocation) {
    AnsiString location;
    try {
        if (errorLocation) location = errorLocation();
    } catch (...) {
        location.clear();
    }
    return InternalErrorText(step, location);
}

bool RunCompletion(TBugReport& report, const std::vector<TReportStep>& steps,
                   const std::function<AnsiString()>& callstackCrc, const TErrorLocation& errorLocation) {
    for (const TReportStep& step : steps) {
        if (report.Aborted()) return false;
        AnsiString text;
        try {
            text = step.Compute();
        } catch (...) {
            // A failing step must never take the crash reporter down with it.
            text = InternalErrorText(step.StepName, errorLocation);
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
