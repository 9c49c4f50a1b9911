// The contact form's address check and the sender it makes of name and
// address.
#include <gtest/gtest.h>

#include "crashreport/ui/ContactAddress.h"

namespace qr {
namespace {

TEST(ContactAddress, AcceptsPlainAddresses) {
    for (const char16_t* address :
         {u"john@example.com", u"john.smith@example.com", u"a@b.c", u"O'Neil+list_2-x@mail.example.org",
          u"JOHN@EXAMPLE.COM", u"7@9.0", u"john@mail.example.co.uk"}) {
        SCOPED_TRACE(UnicodeToUtf8(address));
        EXPECT_TRUE(IsValidMailAddress(address));
    }
}

TEST(ContactAddress, RefusesWhatTheFormMustNotTakeOver) {
    for (const char16_t* address : {
             u"",                        // nothing typed yet
             u"john@examplecom",         // no "." after the "@"
             u"john.smith@localhost",    // "." only before the "@"
             u".john@example.com",       // begins with "."
             u"john@example.com.",       // ends with "."
             u"john@.example.com",       // "." right after the "@"
             u"john@@example.com",       // two "@" side by side
             u"john@ex@ample.com",       // two "@" apart
             u"@example.com",            // "@" first
             u"john.example.com",        // no "@"
             u" john@example.com",       // leading blank
             u"john@example.com ",       // trailing blank
             u"john smith@example.com",  // blank inside
             u"john@exa!mple.com",       // character outside the set
             u"j\u00f6rg@example.com",   // letters beyond A-Z are refused
             u"john@example.com\t",      // trailing tab
             u"john,doe@example.com",    // comma
             u"<john@example.com>",      // angle brackets
         }) {
        SCOPED_TRACE(UnicodeToUtf8(address));
        EXPECT_FALSE(IsValidMailAddress(address));
    }
}

TEST(ContactAddress, AtTheEndOrWithOnlyADotAfterItIsRefused) {
    EXPECT_FALSE(IsValidMailAddress(u"john@"));
    EXPECT_FALSE(IsValidMailAddress(u"john@."));
    EXPECT_TRUE(IsValidMailAddress(u"john@a.b"));
}

TEST(ContactAddress, MailFromNeedsAName) {
    EXPECT_EQ(MailFrom(u"John Smith", u"john@example.com"), UString(u"John Smith <john@example.com>"));
    EXPECT_EQ(MailFrom(u"", u"john@example.com"), std::nullopt);
}

}  // namespace
}  // namespace qr
