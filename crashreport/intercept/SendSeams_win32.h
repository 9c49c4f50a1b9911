#pragma once
// Where sending meets the crash reporter's other windows: the send
// assistant shown before a send and the please-wait window shown while
// the attachments are prepared.
#include <windows.h>

#include <memory>

#include "crashreport/intercept/AssistantRun_win32.h"
#include "crashreport/intercept/FailureObject_win32.h"
#include "crashreport/send/SendRoutine.h"

namespace qr {

// Shows the assistant that `SendAssis` names, owned by `owner`; its data
// goes into the failure when the user completes it. NotShown when there is
// none: the send goes on without it.
TAssistantResult RunSendAssistant(TIMEException& failure, HWND owner);

// The please-wait window for one send: owned by `owner` (the dialog) or,
// from the sending thread, without owner.
std::unique_ptr<ISendProgress> CreateSendProgress(TIMEException& failure, HWND owner);

}  // namespace qr
