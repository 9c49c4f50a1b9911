#include "crashreport/intercept/CompleteReport_win32.h"

#include "crashreport/intercept/LoaderLock_win32.h"
#include "crashreport/report/Completion.h"

namespace qr {

namespace {

constexpr unsigned kWaitStep = 50;  // milliseconds between the window's turns

}  // namespace

void EnsureReportComplete(TIMEException& failure, HWND owner) {
    if (!failure.Completion || failure.Completion->Wait(0)) return;
    // With the loader lock kept by another thread (or this one) the
    // completion may not get on: the report is taken as it stands. A lock
    // held for a moment only delays it.
    if (LoaderLockStaysHeld()) return;
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
    // The stack walks move the bar (see StartReport); this thread keeps the
    // window drawn.
    while (!failure.Completion->Wait(kWaitStep)) alert.ProcessMessages();
    alert.SetPosition(1000);
    if (shown) alert.Close();
}

AnsiString CompleteReportText(TIMEException& failure, HWND owner) {
    if (!failure.Builder) return {};
    EnsureReportComplete(failure, owner);
    return failure.Report.Text();
}

}  // namespace qr
