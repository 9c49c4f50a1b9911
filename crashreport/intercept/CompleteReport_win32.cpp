#include "crashreport/intercept/CompleteReport_win32.h"

#include "crashreport/intercept/LoaderLock_win32.h"
#include "crashreport/report/Completion.h"

namespace qr {

namespace {

constexpr unsigned kWaitStep = 50;  // milliseconds between the window's turns

// How far the completion got, 0 to 1000: the share of sections written
// (a thread's placeholder names its location and "stack will be
// calculated soon").
int CompletedShare(TBugReport& report) {
    const std::vector<TReportField> sections = report.Sections().Items();
    if (sections.empty()) return 1000;
    size_t written = 0;
    for (const TReportField& section : sections)
        if (section.second.find("will be calculated soon") == AnsiString::npos) ++written;
    return int(written * 1000 / sections.size());
}

}  // namespace

void EnsureReportComplete(TIMEException& failure, HWND owner) {
    if (!failure.Completion || failure.Completion->Wait(0)) return;
    // With the loader lock held the completion cannot go on: the report
    // is taken as it stands.
    if (LoaderLockHeld()) return;
    if (!failure.GetBoolean("PlWaitBox") || !failure.ProgressAlert) {
        // The completion ends by itself: each step ends, the abort flag
        // ends it between steps.
        failure.Completion->Wait(INFINITE);
        return;
    }
    TIProgressAlert& alert = *failure.ProgressAlert;
    const bool shown = alert.Show(owner, true);
    failure.Completion->RaiseToHighest();
    // Bounded by the completion as above; the window stays alive meanwhile.
    while (!failure.Completion->Wait(kWaitStep)) alert.SetPosition(CompletedShare(failure.Report));
    alert.SetPosition(1000);
    if (shown) alert.Close();
}

AnsiString CompleteReportText(TIMEException& failure, HWND owner) {
    if (!failure.Builder) return {};
    EnsureReportComplete(failure, owner);
    return failure.Report.Text();
}

}  // namespace qr
