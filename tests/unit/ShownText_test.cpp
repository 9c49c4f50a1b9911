// What the monitor prints for a forwarded message: the text a person
// typed, with the bytes that have no picture spelt out.
#include <gtest/gtest.h>

#include "tools/ShownText.h"

using qr::ShownText;

TEST(ShownText, CodePageLettersArriveAsThemselvesAndControlBytesAreSpeltOut) {
    // "Grüße" as the program writes it: windows-1252 bytes.
    EXPECT_EQ(ShownText("Gr\xFC\xDF"
                        "e"),
              u"Grüße");
    EXPECT_EQ(ShownText("\x80 5"), u"€ 5");
    EXPECT_EQ(ShownText(std::string("a\0b\x0C\x7F", 5)), u"a\\x00b\\x0C\\x7F");
    EXPECT_EQ(ShownText("C:\\x0C"), u"C:\\\\x0C");
    EXPECT_EQ(ShownText("\tL\xE4nge\r\n"), u"\\x09L\u00E4nge\\x0D\\x0A");
    EXPECT_EQ(ShownText(""), u"");
}
