#pragma once
// The texts a failure shows, with the placeholders of its text settings
// expanded for that failure.
#include "base/Text.h"
#include "crashreport/intercept/FailureObject_win32.h"

namespace qr {

// `text` with %appname%, %exceptMsg%, %date% and the others filled in from
// the failure (its class, message and time) and the system.
UString ExpandedFailureText(const TIMEException& failure, const UString& text);

}  // namespace qr
