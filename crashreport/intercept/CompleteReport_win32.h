#pragma once
// Getting a failure's complete report: waits for the completion thread,
// with the please-wait window in front of `owner` when "PlWaitBox" is on.
#include <windows.h>

#include "base/Text.h"
#include "crashreport/intercept/FailureObject_win32.h"

namespace qr {

// Returns once the report is complete (or cannot get any further).
void EnsureReportComplete(TIMEException& failure, HWND owner);

// The complete report's text; empty when the failure has no report.
AnsiString CompleteReportText(TIMEException& failure, HWND owner);

}  // namespace qr
