#include <gtest/gtest.h>

#include "app/lang/siLang.h"

using namespace qr;

using TItems = std::vector<UString>;

TEST(siLangText, ExtractFieldCountsDelimiters) {
    const UString row =
        u"Beenden1\x01&Beenden\x01"
        u"Exit\x01";
    EXPECT_EQ(ExtractField(row, 1, 0), u"Beenden1");
    EXPECT_EQ(ExtractField(row, 1, 1), u"&Beenden");
    EXPECT_EQ(ExtractField(row, 1, 2), u"Exit");
    EXPECT_EQ(ExtractField(row, 1, 3), u"");
    EXPECT_EQ(ExtractField(row, 1, -1), u"");
    // Without its trailing delimiter the last field does not count.
    EXPECT_EQ(ExtractField(u"Beenden1\x01&Beenden\x01"
                           u"Exit",
                           1, 2),
              u"");
    EXPECT_EQ(ExtractField(u"Name\x01\x01"
                           u"English\x01",
                           1, 1),
              u"");
    EXPECT_EQ(ExtractField(u"Name\x01\x01"
                           u"English\x01",
                           1, 2),
              u"English");
    EXPECT_EQ(ExtractField(u"no delimiter", 1, 0), u"");
    EXPECT_EQ(ExtractField(u"a\tb\t", u'\t', 1), u"b");
}

TEST(siLangText, CommaTextSeparatesAtCommasAndBlanks) {
    EXPECT_EQ(CommaTextToItems(u"a b,c"), (TItems{u"a", u"b", u"c"}));
    EXPECT_EQ(CommaTextToItems(u"  a ,  b  "), (TItems{u"a", u"b"}));
    EXPECT_EQ(CommaTextToItems(u"a,,b"), (TItems{u"a", u"", u"b"}));
    EXPECT_EQ(CommaTextToItems(u",a"), (TItems{u"", u"a"}));
    EXPECT_EQ(CommaTextToItems(u"a,"), (TItems{u"a", u""}));
    EXPECT_EQ(CommaTextToItems(u"a\tb\x01"
                               u"c"),
              (TItems{u"a", u"b", u"c"}));
    EXPECT_EQ(CommaTextToItems(u"   "), TItems{});
    EXPECT_EQ(CommaTextToItems(u""), TItems{});
    // A zero character ends the text.
    EXPECT_EQ(CommaTextToItems(std::u16string_view(u"a,b\0c", 5)), (TItems{u"a", u"b"}));
}

TEST(siLangText, CommaTextQuotesHoldSeparatorsAndQuotes) {
    EXPECT_EQ(CommaTextToItems(u"\"x, y\" z"), (TItems{u"x, y", u"z"}));
    EXPECT_EQ(CommaTextToItems(u"\"say \"\"hi\"\"\""), (TItems{u"say \"hi\""}));
    EXPECT_EQ(CommaTextToItems(u"\"\""), (TItems{u""}));
    EXPECT_EQ(CommaTextToItems(u"\"open"), (TItems{u"open"}));
    EXPECT_EQ(CommaTextToItems(u"\"a\"b"), (TItems{u"a", u"b"}));

    EXPECT_EQ(ItemsToCommaText({u"a", u"b c", u"d\"e", u"", u"f,g"}), u"a,\"b c\",\"d\"\"e\",,\"f,g\"");
    EXPECT_EQ(ItemsToCommaText({u""}), u"\"\"");
    EXPECT_EQ(ItemsToCommaText({}), u"");
    for (const TItems& items :
         {TItems{u"one"}, TItems{u"with blank", u"tab\there", u"\"quoted\""}, TItems{u"x", u"", u"y"},
          TItems{u""}, TItems{u"\u00E4\u00F6", u"line\r\nbreak"}})
        EXPECT_EQ(CommaTextToItems(ItemsToCommaText(items)), items);
}

TEST(siLangText, StringListTextSplitsAtEveryLineBreak) {
    EXPECT_EQ(TextToLines(u"a\r\nb\nc\rd"), (TItems{u"a", u"b", u"c", u"d"}));
    EXPECT_EQ(TextToLines(u"a\r\n"), (TItems{u"a"}));
    EXPECT_EQ(TextToLines(u"\r\n"), (TItems{u""}));
    EXPECT_EQ(TextToLines(u"a\n\nb"), (TItems{u"a", u"", u"b"}));
    EXPECT_EQ(TextToLines(u""), TItems{});
    EXPECT_EQ(LinesToText({u"a", u"", u"b"}), u"a\r\n\r\nb");
    EXPECT_EQ(LinesToText({}), u"");
}
