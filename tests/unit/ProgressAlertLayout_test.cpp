// Where the please-wait window's parts stand for short, long and wide texts.
#include <gtest/gtest.h>

#include "crashreport/ui/ProgressAlertLayout.h"

namespace qr {
namespace {

TTextMeasure Fixed(int width, int height, int* askedWrap = nullptr) {
    return [=](int wrap) {
        if (askedWrap) *askedWrap = wrap;
        return TBoxSize{std::min(width, wrap), height};
    };
}

TEST(ProgressAlertLayout, ShortTextIsCentredOnThePictureAndTakesTheMinimumWidth) {
    int wrap = 0;
    TProgressAlertLayout l = ProgressAlertLayout(Fixed(90, 13, &wrap), true);
    EXPECT_EQ(wrap, 420);
    EXPECT_EQ(l.Picture.Left, 9);
    EXPECT_EQ(l.Picture.Top, 9);
    EXPECT_EQ(l.Picture.Width, 32);
    EXPECT_EQ(l.Text.Left, 51);
    EXPECT_EQ(l.Text.Top, 9 + (32 - 13) / 2);
    EXPECT_EQ(l.Text.Width, 220);
    // The bar spans the text's width right under it.
    EXPECT_EQ(l.Bar.Left, l.Text.Left);
    EXPECT_EQ(l.Bar.Width, l.Text.Width);
    EXPECT_GT(l.Bar.Top, l.Text.Bottom());
    EXPECT_GT(l.ClientWidth, l.Bar.Right());
    EXPECT_GT(l.ClientHeight, std::max(l.Bar.Bottom(), l.Picture.Bottom()));
}

TEST(ProgressAlertLayout, TallTextStartsAtTwelveAndWideTextStopsAtTheWrapWidth) {
    TProgressAlertLayout l = ProgressAlertLayout(Fixed(1000, 52), true);
    EXPECT_EQ(l.Text.Top, 12);
    EXPECT_EQ(l.Text.Width, 420);
    EXPECT_GT(l.Bar.Top, 12 + 52);
    TProgressAlertLayout bare = ProgressAlertLayout(Fixed(300, 13), false);
    EXPECT_TRUE(bare.Picture.Empty());
    EXPECT_EQ(bare.Text.Left, 11);
    EXPECT_EQ(bare.Text.Top, 12);  // nothing to centre on
    EXPECT_EQ(bare.Text.Width, 300);
    EXPECT_LT(bare.ClientWidth, l.ClientWidth);
}

}  // namespace
}  // namespace qr
