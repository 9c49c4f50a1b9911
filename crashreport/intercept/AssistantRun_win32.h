#pragma once
// Running an assistant for a failure: its forms from the program's
// resources, the values kept from an earlier run for the same failure,
// the crash dialog moved out of the topmost band meanwhile, and the data
// put into the report when the user completed it for an action.
#include <windows.h>

#include <string_view>

#include "crashreport/intercept/FailureObject_win32.h"

namespace qr {

enum class TAssistantResult { Completed, Cancelled, NotShown };

// `name`: the assistant's name as the settings' "Assistant1.." know it (the
// send assistant: the failure's "SendAssis"). NotShown when the assistant
// or one of its form resources ("TME" + the form's name, in `forms`; null:
// the program file) is missing: the action then goes on without it. The
// title's placeholders are expanded. On the thread that owns `owner` (the
// crash dialog's, or none).
TAssistantResult RunAssistant(TIMEException& failure, std::u16string_view name, HWND owner,
                              bool forAction = true, HMODULE forms = nullptr);

}  // namespace qr
