#include <gtest/gtest.h>

#include "base/Text.h"

using namespace qr;

TEST(AnsiCodePage, Windows1252RoundTripsEveryByte) {
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(char(b));
    UString text = Cp1252ToUnicode(all);
    ASSERT_EQ(text.size(), 256u);
    EXPECT_EQ(text[0x80], u'\u20AC');
    EXPECT_EQ(text[0x9F], u'\u0178');
    EXPECT_EQ(text[0x81], u'\u0081');  // undefined bytes keep their value
    EXPECT_EQ(text[0xE4], u'\u00E4');
    EXPECT_EQ(UnicodeToCp1252(text), all);
}

TEST(AnsiCodePage, CharactersOutsideTheCodePageBecomeQuestionMarks) {
    EXPECT_EQ(UnicodeToCp1252(u"a\u0416b"), "a?b");
    EXPECT_EQ(UnicodeToCp1252(u"\U0001F600"), "?");
    EXPECT_EQ(UnicodeToCp1252(UString(u"x\0y", 3)), std::string("x\0y", 3));
}

TEST(AnsiCodePage, SystemConversionMatchesTheTableForWindows1252) {
    // Wine and the POSIX build both run with code page 1252 here.
    std::string sample =
        "Gr\xFC\xDF"
        "e \x80 \x93quoted\x94";
    EXPECT_EQ(AnsiToUnicode(sample), Cp1252ToUnicode(sample));
    EXPECT_EQ(UnicodeToAnsi(AnsiToUnicode(sample)), sample);
    EXPECT_EQ(AnsiToUnicode(""), u"");
}

TEST(Utf8, ConvertsBothWaysIncludingSurrogatesAndBadBytes) {
    EXPECT_EQ(Utf8ToUnicode("a\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80"), u"a\u00E4\u20AC\U0001F600");
    EXPECT_EQ(UnicodeToUtf8(u"a\u00E4\u20AC\U0001F600"), "a\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80");
    EXPECT_EQ(Utf8ToUnicode("\xFFx"), u"\uFFFDx");
    EXPECT_EQ(Utf8ToUnicode("\xE2\x82"), u"\uFFFD");
}

TEST(SameText, IgnoresAsciiCaseOnly) {
    EXPECT_TRUE(SameText("Caption", "CAPTION"));
    EXPECT_FALSE(SameText("Caption", "Captions"));
    EXPECT_TRUE(SameText(u"stCaptions_Unicode", u"STCAPTIONS_UNICODE"));
    EXPECT_FALSE(SameText(u"\u00E4", u"\u00C4"));
}
