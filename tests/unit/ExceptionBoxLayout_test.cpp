// Where the small crash dialog and the plain boxes put their parts, for
// measured caption widths and text sizes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "crashreport/ui/ExceptionBox.h"

namespace qr {
namespace {

constexpr int kSend = int(TBoxButton::Send), kShow = int(TBoxButton::Show),
              kContinue = int(TBoxButton::Continue), kRestart = int(TBoxButton::Restart),
              kClose = int(TBoxButton::Close);

// This program's full dialog: send, show, continue, restart, close.
TBoxContent ProgramSpec() {
    TBoxContent content;
    const bool visible[] = {true, false, false, true, true, true, true};
    for (int i = 0; i < kBoxButtonCount; ++i) content.Visible[i] = visible[i];
    return content;
}

const int kWidths[kBoxButtonCount] = {80, 70, 75, 82, 100, 90, 85};

// A text of the given size; records the wrap widths it was asked for.
struct TFixedText {
    explicit TFixedText(TBoxSize size) : Size(size) {}
    TBoxSize Size;
    std::vector<int> Asked;
    TTextMeasure Measure() {
        return [this](int wrap) {
            Asked.push_back(wrap);
            return Size;
        };
    }
};

int LowestBottom(const TBoxLayout& layout) {
    int bottom = 0;
    for (const TBoxRect& r : layout.Buttons) bottom = std::max(bottom, r.Bottom());
    return std::max({bottom, layout.Text.Bottom(), layout.Icon.Bottom()});
}

TEST(SmallBoxLayout, StacksTheEndButtonsRightAndPutsSendAndShowBottomLeft) {
    TFixedText text({180, 13});
    const TBoxLayout layout = SmallBoxLayout(ProgramSpec(), kWidths, text.Measure(), true);
    const TBoxRect &cont = layout.Buttons[kContinue], &restart = layout.Buttons[kRestart],
                   &close = layout.Buttons[kClose], &send = layout.Buttons[kSend],
                   &show = layout.Buttons[kShow];
    // The column: as wide as the widest caption + 39, 8 px from the right
    // edge, 4 px apart, in the order continue, restart, close.
    for (const TBoxRect* r : {&cont, &restart, &close}) {
        EXPECT_EQ(r->Width, 100 + 39);
        EXPECT_EQ(r->Height, 22);
        EXPECT_EQ(r->Right(), layout.ClientWidth - 8);
    }
    EXPECT_EQ(restart.Top, cont.Bottom() + 4);
    EXPECT_EQ(close.Top, restart.Bottom() + 4);
    // Send and show side by side from x = 6 on the row of close.
    EXPECT_EQ(send.Left, 6);
    EXPECT_EQ(send.Width, 80 + 39);
    EXPECT_EQ(show.Width, 82 + 39);
    EXPECT_EQ(show.Left, send.Right() + 4);
    EXPECT_EQ(send.Top, close.Top);
    EXPECT_EQ(show.Top, close.Top);
    EXPECT_LT(show.Right(), close.Left);
    for (int hidden : {int(TBoxButton::Save), int(TBoxButton::Print)})
        EXPECT_TRUE(layout.Buttons[hidden].Empty());
    // Icon and a one-line text centred on its height.
    EXPECT_EQ(layout.Icon.Left, 10);
    EXPECT_EQ(layout.Icon.Top, 9);
    EXPECT_EQ(layout.Text.Left, 51);
    EXPECT_EQ(layout.Text.Top, 9 + (32 - 13) / 2);
    EXPECT_EQ(layout.Text.Width, 180);
    // Three stacked: the column starts one row (22 + 4) above "5 px below
    // the text", beside the text.
    EXPECT_EQ(cont.Top, layout.Text.Bottom() + 5 - 26);
    EXPECT_GE(cont.Left, layout.Text.Right() + 1);
    EXPECT_EQ(layout.ClientHeight, LowestBottom(layout) + 8);
    // Wrapped at 664 less the icon area, the bottom row being narrower.
    ASSERT_EQ(text.Asked.size(), 1u);
    EXPECT_EQ(text.Asked[0], 664 - 40);
}

TEST(SmallBoxLayout, TheColumnMovesUpOnlyForThreeAndNeverAboveSeven) {
    TFixedText tiny({60, 2});
    const TBoxLayout high = SmallBoxLayout(ProgramSpec(), kWidths, tiny.Measure(), true);
    EXPECT_EQ(high.Buttons[kContinue].Top, 7);

    TBoxContent two = ProgramSpec();
    two.Visible[kClose] = false;
    TFixedText line({180, 13});
    const TBoxLayout layout = SmallBoxLayout(two, kWidths, line.Measure(), true);
    EXPECT_EQ(layout.Buttons[kContinue].Top, layout.Text.Bottom() + 5);
    EXPECT_EQ(layout.Buttons[kSend].Top, layout.Buttons[kRestart].Top);
    EXPECT_EQ(layout.Buttons[kContinue].Width, 100 + 39);
    // Nothing overlaps: send and show stay below the icon.
    EXPECT_GE(layout.Buttons[kSend].Top, layout.Icon.Bottom());
}

TEST(SmallBoxLayout, TallTextStartsAtTwelveAndPushesTheWindowWide) {
    TFixedText text({600, 39});
    const TBoxLayout layout = SmallBoxLayout(ProgramSpec(), kWidths, text.Measure(), true);
    EXPECT_EQ(layout.Text.Top, 12);
    const TBoxRect& cont = layout.Buttons[kContinue];
    // The column moved up beside the text stands right of it.
    ASSERT_LT(cont.Top, layout.Text.Bottom());
    EXPECT_GE(cont.Left, layout.Text.Right() + 8);
    EXPECT_EQ(layout.ClientWidth, cont.Right() + 8);
    EXPECT_GE(layout.Buttons[kSend].Top, layout.Text.Bottom());
}

TEST(SmallBoxLayout, WithoutIconTheTextStartsAtElevenAndIsNotCentred) {
    TFixedText text({180, 13});
    const TBoxLayout layout = SmallBoxLayout(ProgramSpec(), kWidths, text.Measure(), false);
    EXPECT_TRUE(layout.Icon.Empty());
    EXPECT_EQ(layout.Text.Left, 11);
    EXPECT_EQ(layout.Text.Top, 12);
    EXPECT_EQ(text.Asked[0], 664);
}

TEST(SmallBoxLayout, UglyButtonsAreTallerAndOneEndButtonMeansOneRow) {
    TBoxContent content = ProgramSpec();
    content.UglyBtns = true;
    TFixedText text({180, 13});
    const TBoxLayout ugly = SmallBoxLayout(content, kWidths, text.Measure(), true);
    EXPECT_EQ(ugly.Buttons[kContinue].Height, 26);
    EXPECT_EQ(ugly.Buttons[kRestart].Top, ugly.Buttons[kContinue].Bottom() + 4);

    TBoxContent row = ProgramSpec();
    row.Visible[kRestart] = row.Visible[kClose] = false;
    const TBoxLayout oneRow = SmallBoxLayout(row, kWidths, text.Measure(), true);
    EXPECT_EQ(oneRow.Buttons[kSend].Top, oneRow.Buttons[kContinue].Top);
    EXPECT_EQ(oneRow.Buttons[kSend].Left, 6);
    EXPECT_EQ(oneRow.Buttons[kShow].Left, oneRow.Buttons[kSend].Right() + 4);
    EXPECT_EQ(oneRow.Buttons[kContinue].Left, oneRow.Buttons[kShow].Right() + 4);
    EXPECT_GE(oneRow.Buttons[kSend].Top, oneRow.Icon.Bottom());
    EXPECT_LE(oneRow.Buttons[kContinue].Right(), oneRow.ClientWidth - 8);
}

TEST(PlainBoxLayout, OkAndDetailsAreCentredAndAtLeastSeventyNineWhenNarrow) {
    TBoxContent content;
    content.PlainBox = true;
    content.WithDetails = true;
    TFixedText text({300, 26});
    const TBoxLayout layout = PlainBoxLayout(content, 20, 50, text.Measure(), true);
    const TBoxRect &ok = layout.Buttons[kContinue], &details = layout.Buttons[kShow];
    EXPECT_EQ(ok.Width, 79);       // 20 + 39 is narrower than 75
    EXPECT_EQ(details.Width, 89);  // 50 + 39
    EXPECT_EQ(ok.Height, 23);
    EXPECT_EQ(details.Top, ok.Top);
    EXPECT_GT(details.Left, ok.Right());
    EXPECT_LE(std::abs(ok.Left - (layout.ClientWidth - details.Right())), 1);
    EXPECT_GT(ok.Top, layout.Text.Bottom());
    EXPECT_EQ(layout.ClientHeight, ok.Bottom() + 8);

    content.WithDetails = false;
    const TBoxLayout alone = PlainBoxLayout(content, 36, 50, text.Measure(), true);
    EXPECT_EQ(alone.Buttons[kContinue].Width, 75);  // not narrower than 75
    EXPECT_TRUE(alone.Buttons[kShow].Empty());
    EXPECT_LE(
        std::abs(alone.Buttons[kContinue].Left - (alone.ClientWidth - alone.Buttons[kContinue].Right())), 1);
}

}  // namespace
}  // namespace qr
