#pragma once
// The dialog's "send bug report" action and the send routine's start:
// in a background thread of the failure (SendInBackgr) or right here.
#include <windows.h>

#include <memory>

#include "crashreport/intercept/FailureObject_win32.h"
#include "crashreport/send/SendRoutine.h"

namespace qr {

// The send action of the crash dialog: the send assistant, the screenshot
// when it is to be attached, the complete report, then the send routine
// (background as the settings say). `owner` is the dialog.
void SendAction(const std::shared_ptr<TIMEException>& failure, HWND owner);

// The send routine for one failure. With `background` (and the loader lock
// free) it starts the failure's sending thread and answers Sent at once;
// otherwise it sends in the calling thread and answers how that went.
TSendResult SendFailureReport(const std::shared_ptr<TIMEException>& failure, AnsiString report,
                              bool withScreenshot, HWND owner, bool background, bool silent);

// Waits without limit for a running sending thread of the failure and
// releases its handle (before the process ends).
void WaitForSending(TIMEException& failure);

}  // namespace qr
