#pragma once
#include "base/Text.h"

namespace qr {

// Whether a message text is the "quit" command, in any letter case. On
// Windows the user's locale decides (CompareStringW, ignoring case);
// elsewhere the 8-bit form is compared ignoring ASCII letter case.
bool IsQuitCommand(const UString& text);

}  // namespace qr
