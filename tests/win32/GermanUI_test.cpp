#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>

#include "app/lang/GermanUI.h"

using namespace qr;

TEST(GermanUIWindows, SlotFindsTheSystemCall) {
    TLanguageSlot slot = UserUILanguageSlot();
    LANGID language = GetUserDefaultUILanguage();
    EXPECT_NE(language, 0);
    EXPECT_EQ(slot(), language);
}

// Wine takes the user's language from the Unix locale it was started with.
// LC_ALL is honoured even where that locale is not generated on the host
// (LANG alone then falls back to English); real Windows has no such variable
// and is not checked here.
TEST(GermanUIWindows, GermanExactlyForAGermanLocale) {
    const char* locale = std::getenv("LC_ALL");
    if (!locale || !*locale) GTEST_SKIP() << "no Unix locale to compare with";
    EXPECT_EQ(IsGermanUI(), IsGermanLanguageId(LocaleIdFromName(locale))) << locale;
}
