#pragma once
// Where the please-wait window's picture, text and bar stand, from the
// measured size of the current area's text. Portable, so the rules are
// tested without a window.
#include "crashreport/ui/ExceptionBox.h"

namespace qr {

struct TProgressAlertLayout {
    TBoxRect Picture;  // empty without picture
    TBoxRect Text;
    TBoxRect Bar;
    int ClientWidth = 0, ClientHeight = 0;
};

// The text wraps at 420 pixels and takes at least 220; lower than 26
// pixels it is centred on the picture's height.
inline constexpr int kAlertMaxTextWidth = 420;
inline constexpr int kAlertMinTextWidth = 220;

TProgressAlertLayout ProgressAlertLayout(const TTextMeasure& measureText, bool hasPicture);

}  // namespace qr
