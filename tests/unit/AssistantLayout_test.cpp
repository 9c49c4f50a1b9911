// Where an assistant form puts its headline, steps, panel, items and
// buttons, and how wide it becomes.
#include <gtest/gtest.h>

#include "crashreport/ui/AssistantLayout.h"

namespace qr {
namespace {

TNVFormMeasure ContactLike() {
    TNVFormMeasure m;
    m.HeadlineWidth = 150;
    m.HeadlineHeight = 17;
    m.StepCount = 3;
    m.ButtonWidths[0] = 75;
    m.ButtonWidths[1] = 75;
    m.ButtonWidths[2] = 75;
    m.Items = {{0, 13, 0}, {0, 21, 0}, {0, 13, 0}, {0, 21, 4}, {90, 17, 0}};
    return m;
}

TEST(AssistantFormLayout, StacksItemsInThePanelAndPutsTheButtonsBelowIt) {
    const TNVFormLayout l = AssistantFormLayout(ContactLike());
    EXPECT_EQ(l.ClientWidth, 315);
    EXPECT_EQ(l.Headline.Left, 11);
    EXPECT_EQ(l.Headline.Top, 6);
    EXPECT_EQ(l.Panel.Left, 8);
    EXPECT_EQ(l.Panel.Top, 25);
    ASSERT_EQ(l.Items.size(), 5u);
    EXPECT_EQ(l.Items[0].Top, 40);
    for (size_t i = 1; i < l.Items.size(); ++i) EXPECT_GT(l.Items[i].Top, l.Items[i - 1].Bottom()) << i;
    EXPECT_EQ(l.Items[3].Top - l.Items[2].Bottom(), l.Items[2].Top - l.Items[1].Bottom() + 4) << "spacing";
    EXPECT_EQ(l.Items[4].Width, 90);
    EXPECT_EQ(l.Items[0].Width, l.Panel.Width - 24);
    for (const TBoxRect& item : l.Items) EXPECT_LT(item.Bottom(), l.Panel.Bottom());
    // Continue at the left, skip 8 pixels beside it, cancel at the right.
    EXPECT_EQ(l.Buttons[0].Left, 8);
    EXPECT_EQ(l.Buttons[1].Left, l.Buttons[0].Right() + 8);
    EXPECT_EQ(l.Buttons[2].Right(), l.ClientWidth - 8);
    EXPECT_GT(l.Buttons[0].Top, l.Panel.Bottom());
    EXPECT_EQ(l.ClientHeight, l.Buttons[0].Bottom() + 8);
    // Three steps at the top right, 19 pixels apart.
    ASSERT_EQ(l.Steps.size(), 3u);
    EXPECT_EQ(l.Steps[1].Left - l.Steps[0].Left, 19);
    EXPECT_LE(l.Steps[2].Right(), l.ClientWidth - 8);
}

TEST(AssistantFormLayout, WidthFollowsEachOfItsRules) {
    TNVFormMeasure m = ContactLike();
    m.MinWidth = 400;
    EXPECT_EQ(AssistantFormLayout(m).ClientWidth, 400);
    m = ContactLike();
    m.ButtonWidths[0] = m.ButtonWidths[1] = m.ButtonWidths[2] = 120;
    EXPECT_EQ(AssistantFormLayout(m).ClientWidth, 360 + 32);
    m = ContactLike();
    m.HeadlineWidth = 300;
    EXPECT_EQ(AssistantFormLayout(m).ClientWidth, 300 + 3 * 19 + 36);
    m = ContactLike();
    m.Items.push_back({500, 100, 0});  // a picture wider than the form
    const TNVFormLayout wide = AssistantFormLayout(m);
    EXPECT_EQ(wide.Items.back().Width, 500);
    EXPECT_LE(wide.Items.back().Right(), wide.Panel.Right());
}

}  // namespace
}  // namespace qr
