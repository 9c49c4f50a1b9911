#pragma once
#include <optional>

#include "crashreport/report/Screenshot.h"

namespace qr {

// The whole virtual screen of all monitors with the mouse pointer drawn in
// where it is visible; none when it cannot be taken.
std::optional<TScreenshot> TakeScreenshot();

}  // namespace qr
