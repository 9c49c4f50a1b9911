#include <gtest/gtest.h>

#include "app/lang/GermanUI.h"

using namespace qr;

TEST(GermanUI, OnlyTheFiveGermanVariantsCount) {
    for (uint32_t id : {0x0407u, 0x0807u, 0x0C07u, 0x1007u, 0x1407u})
        EXPECT_TRUE(IsGermanLanguageId(id)) << id;
    // A locale identifier carries a sort order above the language.
    EXPECT_TRUE(IsGermanLanguageId(0x10407));
    for (uint32_t id : {0x0000u, 0x0007u, 0x0409u, 0x040Cu, 0x0807u + 1, 0x1807u, 0x0417u, 0x0408u})
        EXPECT_FALSE(IsGermanLanguageId(id)) << id;
}

TEST(GermanUI, InterfaceLanguageDecidesAndLocaleStandsInForZero) {
    int binds = 0, lcidCalls = 0;
    auto slotAnswering = [&](uint16_t value) {
        return TLanguageSlot([&binds, value] {
            ++binds;
            return TLanguageSlot::TFunction([value] { return value; });
        });
    };
    auto lcid = [&](uint32_t value) {
        return [&lcidCalls, value] {
            ++lcidCalls;
            return value;
        };
    };

    TLanguageSlot german = slotAnswering(0x0C07);
    EXPECT_TRUE(IsGermanUI(german, lcid(0x0409)));
    EXPECT_EQ(lcidCalls, 0);
    TLanguageSlot english = slotAnswering(0x0409);
    EXPECT_FALSE(IsGermanUI(english, lcid(0x0407)));
    EXPECT_EQ(lcidCalls, 0);
    TLanguageSlot zero = slotAnswering(0);
    EXPECT_TRUE(IsGermanUI(zero, lcid(0x1407)));
    EXPECT_EQ(lcidCalls, 1);

    // A system without the call: the slot answers 0, the locale decides.
    int missingBinds = 0;
    TLanguageSlot missing([&missingBinds] {
        ++missingBinds;
        return TLanguageSlot::TFunction();
    });
    EXPECT_TRUE(IsGermanUI(missing, lcid(0x0807)));
    EXPECT_FALSE(IsGermanUI(missing, lcid(0x040C)));
    EXPECT_EQ(missing(), 0);
    EXPECT_EQ(missingBinds, 1);

    // Bound on the first call only.
    binds = 0;
    TLanguageSlot once = slotAnswering(0x0407);
    EXPECT_EQ(binds, 0);
    EXPECT_EQ(once(), 0x0407);
    EXPECT_EQ(once(), 0x0407);
    EXPECT_EQ(binds, 1);
}

TEST(GermanUI, LocaleNamesMapToIdentifiers) {
    EXPECT_EQ(LocaleIdFromName("de_DE.UTF-8"), 0x0407u);
    EXPECT_EQ(LocaleIdFromName("de_CH.UTF-8"), 0x0807u);
    EXPECT_EQ(LocaleIdFromName("de_AT"), 0x0C07u);
    EXPECT_EQ(LocaleIdFromName("de_LU@euro"), 0x1007u);
    EXPECT_EQ(LocaleIdFromName("de_LI.UTF-8"), 0x1407u);
    EXPECT_EQ(LocaleIdFromName("de"), 0x0407u);
    EXPECT_EQ(LocaleIdFromName("en_US.UTF-8"), 0x0409u);
    EXPECT_EQ(LocaleIdFromName("fr_FR.UTF-8"), 0u);
    EXPECT_EQ(LocaleIdFromName("deu"), 0u);
    EXPECT_EQ(LocaleIdFromName("C"), 0u);
    EXPECT_EQ(LocaleIdFromName(""), 0u);
}
