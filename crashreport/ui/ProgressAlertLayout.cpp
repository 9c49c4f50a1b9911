#include "crashreport/ui/ProgressAlertLayout.h"

#include <algorithm>

namespace qr {

namespace {
constexpr int kPictureLeft = 9, kPictureTop = 9;
constexpr int kTextTop = 12;
constexpr int kTextLeftWithPicture = 51, kTextLeftWithoutPicture = 11;
constexpr int kCentreBelowHeight = 26;
constexpr int kBarGap = 8, kBarHeight = 16;
constexpr int kRightMargin = 11, kBottomMargin = 10;
}  // namespace

TProgressAlertLayout ProgressAlertLayout(const TTextMeasure& measureText, bool hasPicture) {
    TProgressAlertLayout layout;
    const TBoxSize text = measureText(kAlertMaxTextWidth);
    const int width = std::clamp(text.Width, kAlertMinTextWidth, kAlertMaxTextWidth);
    int top = kTextTop;
    if (hasPicture) {
        layout.Picture = {kPictureLeft, kPictureTop, kBoxIconSize, kBoxIconSize};
        if (text.Height < kCentreBelowHeight) top = kPictureTop + (kBoxIconSize - text.Height) / 2;
    }
    layout.Text = {hasPicture ? kTextLeftWithPicture : kTextLeftWithoutPicture, top, width, text.Height};
    layout.Bar = {layout.Text.Left, layout.Text.Bottom() + kBarGap, width, kBarHeight};
    layout.ClientWidth = layout.Text.Right() + kRightMargin;
    layout.ClientHeight = std::max(layout.Bar.Bottom(), layout.Picture.Bottom()) + kBottomMargin;
    return layout;
}

}  // namespace qr
