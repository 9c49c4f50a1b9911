// The please-wait window's bar over weighted areas.
#include <gtest/gtest.h>

#include <cstdint>

#include "crashreport/ui/ProgressAreas.h"

namespace qr {
namespace {

TEST(ProgressAreas, PositionFollowsTheFormulaAcrossAreas) {
    TProgressAreas areas;
    areas.Add(u"one", 100);
    areas.Add(u"two", 300);
    areas.Add(u"three", 600);
    EXPECT_EQ(areas.BarPosition(), 0);
    areas.SetPosition(500);
    EXPECT_EQ(areas.BarPosition(), 50);  // (0 + 100 * 500 / 1000) * 1000 / 1000
    areas.AreaDone();
    EXPECT_EQ(areas.CurrentText(), UString(u"two"));
    EXPECT_EQ(areas.BarPosition(), 100);
    areas.SetPosition(1000);
    EXPECT_EQ(areas.BarPosition(), 400);
    areas.SetCurrent(2);
    areas.SetPosition(250);
    EXPECT_EQ(areas.BarPosition(), 550);  // 400 + 600 / 4
    areas.AreaDone();                     // the last area stays current
    EXPECT_EQ(areas.Current(), 2u);
    areas.SetCurrent(7);
    EXPECT_EQ(areas.Current(), 2u);
}

TEST(ProgressAreas, OddTotalsAndHugeWeightsScaleToThousand) {
    TProgressAreas areas;
    areas.Add(u"a", 1);
    areas.Add(u"b", 2);
    areas.SetCurrent(1);
    areas.SetPosition(500);
    EXPECT_EQ(areas.BarPosition(), 666);  // (1 + 1) * 1000 / 3, cut down

    TProgressAreas big;
    big.Add(u"a", int64_t(1) << 40);
    big.Add(u"b", int64_t(3) << 40);
    big.SetCurrent(1);
    big.SetPosition(2000);  // clamped to the area's end
    EXPECT_EQ(big.BarPosition(), 1000);
    big.SetPosition(0);
    EXPECT_EQ(big.BarPosition(), 250);
}

TEST(ProgressAreas, DefaultAreaOnlyWhenNoneWasAdded) {
    TProgressAreas areas;
    EXPECT_EQ(areas.BarPosition(), 0);
    areas.EnsureDefault();
    ASSERT_EQ(areas.Areas().size(), 1u);
    EXPECT_EQ(areas.CurrentText(), UString(u"Please wait..."));
    EXPECT_EQ(areas.Areas()[0].Weight, 1000);
    areas.SetPosition(300);
    EXPECT_EQ(areas.BarPosition(), 300);

    areas.Clear();
    areas.Add(u"own", 5);
    areas.EnsureDefault();
    ASSERT_EQ(areas.Areas().size(), 1u);
    EXPECT_EQ(areas.CurrentText(), UString(u"own"));
}

}  // namespace
}  // namespace qr
