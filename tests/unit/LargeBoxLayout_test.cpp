// The large crash dialog's size rules and how its parts follow a resize.
#include <gtest/gtest.h>

#include "crashreport/ui/ExceptionBox.h"

namespace qr {
namespace {

constexpr int kSend = int(TBoxButton::Send), kContinue = int(TBoxButton::Continue),
              kClose = int(TBoxButton::Close);

// The large form's buttons: send at the bottom left, the end buttons
// stacked at the right (the show button is hidden).
TBoxLayout SmallWithoutShow(int textWidth) {
    TBoxContent content;
    const bool visible[] = {true, false, false, false, true, true, true};
    for (int i = 0; i < kBoxButtonCount; ++i) content.Visible[i] = visible[i];
    const int widths[kBoxButtonCount] = {80, 70, 75, 82, 100, 90, 85};
    return SmallBoxLayout(
        content, widths,
        [=](int) {
            return TBoxSize{textWidth, 13};
        },
        true);
}

TEST(LargeBoxLayout, GrowsToTheMinimumWidthAndByTheExtraHeightBelowTheButtons) {
    const TBoxLayout small = SmallWithoutShow(200);
    ASSERT_LT(small.ClientWidth, kLargeMinWidth);
    const TBoxLayout large = LargeBoxLayout(small, {2000, 2000});
    EXPECT_EQ(large.ClientWidth, kLargeMinWidth);
    EXPECT_EQ(large.ClientHeight, small.ClientHeight + kLargeExtraHeight);
    // The end buttons moved with the right edge, send stayed.
    EXPECT_EQ(large.Buttons[kContinue].Right(), large.ClientWidth - 8);
    EXPECT_EQ(large.Buttons[kClose].Left, large.Buttons[kContinue].Left);
    EXPECT_EQ(large.Buttons[kSend].Left, small.Buttons[kSend].Left);
    EXPECT_EQ(large.Buttons[kSend].Top, small.Buttons[kSend].Top);
    // The tab control fills the rest, 5 pixels from the edges, below every button.
    EXPECT_EQ(large.Tabs.Left, 5);
    EXPECT_EQ(large.Tabs.Right(), large.ClientWidth - 5);
    EXPECT_EQ(large.Tabs.Bottom(), large.ClientHeight - 5);
    for (const TBoxRect& b : large.Buttons) EXPECT_GT(large.Tabs.Top, b.Bottom());
}

TEST(LargeBoxLayout, StaysWithinTheLimitButNeverBelowTheSmallForm) {
    const TBoxLayout small = SmallWithoutShow(200);
    const TBoxLayout limited = LargeBoxLayout(small, {600, 300});
    EXPECT_EQ(limited.ClientWidth, std::max(600, small.ClientWidth));
    EXPECT_EQ(limited.ClientHeight, 300);
    // A wide text keeps its width.
    const TBoxLayout wide = SmallWithoutShow(900);
    EXPECT_EQ(LargeBoxLayout(wide, {2000, 2000}).ClientWidth, wide.ClientWidth);
    // A tiny screen still leaves the small form whole and the tabs some room.
    const TBoxLayout tiny = LargeBoxLayout(small, {100, 50});
    EXPECT_EQ(tiny.ClientWidth, small.ClientWidth);
    EXPECT_GT(tiny.ClientHeight, small.ClientHeight);
    EXPECT_GE(tiny.Tabs.Height, 60);
    EXPECT_EQ(tiny.Tabs.Bottom(), tiny.ClientHeight - 5);
}

TEST(LargeBoxLayout, ResizingMovesTheEndColumnAndGrowsTheTabsNeverBelowTheStart) {
    const TBoxLayout large = LargeBoxLayout(SmallWithoutShow(200), {2000, 2000});
    const TBoxLayout bigger = ResizedBoxLayout(large, large.ClientWidth + 100, large.ClientHeight + 40);
    EXPECT_EQ(bigger.Buttons[kContinue].Left, large.Buttons[kContinue].Left + 100);
    EXPECT_EQ(bigger.Buttons[kContinue].Top, large.Buttons[kContinue].Top);
    EXPECT_EQ(bigger.Buttons[kSend].Left, large.Buttons[kSend].Left);
    EXPECT_EQ(bigger.Tabs.Width, large.Tabs.Width + 100);
    EXPECT_EQ(bigger.Tabs.Height, large.Tabs.Height + 40);
    EXPECT_EQ(bigger.Tabs.Top, large.Tabs.Top);
    // Smaller than the start: the start's layout.
    const TBoxLayout smaller = ResizedBoxLayout(large, 10, 10);
    EXPECT_EQ(smaller.ClientWidth, large.ClientWidth);
    EXPECT_EQ(smaller.Tabs.Width, large.Tabs.Width);
    EXPECT_EQ(smaller.Buttons[kContinue].Left, large.Buttons[kContinue].Left);
}

}  // namespace
}  // namespace qr
