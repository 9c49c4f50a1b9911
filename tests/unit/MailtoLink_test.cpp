// The "mailto:" command line: what is encoded, where the link goes and
// where an over-long command line is cut.
#include <gtest/gtest.h>

#include <cctype>

#include "crashreport/send/MailtoLink.h"

namespace qr {
namespace {

// Every "%" starts a complete escape of two upper-case hex digits.
bool EscapesWhole(const std::string& s, size_t from) {
    for (size_t i = from; i < s.size(); ++i)
        if (s[i] == '%') {
            if (i + 2 >= s.size()) return false;
            for (size_t k = i + 1; k <= i + 2; ++k)
                if (!std::isxdigit(static_cast<unsigned char>(s[k])) ||
                    std::islower(static_cast<unsigned char>(s[k])))
                    return false;
        }
    return true;
}

TEST(MailtoLink, EncodesExactlyTheListedCharacters) {
    EXPECT_EQ(PercentEncodeMailText("\n\r \"#%&+<>?"), "%0A%0D%20%22%23%25%26%2B%3C%3E%3F");
    // Control characters, which could split or end the command line.
    EXPECT_EQ(PercentEncodeMailText(std::string("\t\x01\x1f\x7f\0x", 6)), "%09%01%1F%7F%00x");
    // Everything else passes unchanged, 8-bit characters included.
    const std::string plain = "a=b/c;d:e,f'^|!\xe9\xff\x80$@()";
    EXPECT_EQ(PercentEncodeMailText(plain), plain);
    EXPECT_EQ(PercentEncodeMailText("100% & more"), "100%25%20%26%20more");
}

TEST(MailtoLink, LinkAndItsPlaceInTheCommandLine) {
    EXPECT_EQ(MailtoLink(" a@x.org ;b@y.org,, c@z.org", "bug report", "line 1\r\nx", false),
              "mailto:a@x.org,b@y.org,c@z.org?subject=bug%20report&body=line%201%0D%0Ax");
    EXPECT_EQ(MailtoLink("", "s", "b", false), "mailto:?subject=s&body=b");

    EXPECT_EQ(InsertLink("\"C:\\mail.exe\" -compose \"%1\"", "mailto:x"),
              "\"C:\\mail.exe\" -compose \"mailto:x\"");
    EXPECT_EQ(InsertLink("mail.exe -m", "mailto:x"), "mail.exe -m mailto:x");
    EXPECT_EQ(InsertLink("mail.exe -m ", "mailto:x"), "mail.exe -m mailto:x");

    EXPECT_EQ(
        MailtoCommandLine("\"C:\\Office\\OUTLOOK.EXE\" /c ipm.note /m \"%1\"", "a@x.org, b@y.org", "s", "b"),
        "\"C:\\Office\\OUTLOOK.EXE\" /c ipm.note /m \"mailto:a@x.org;b@y.org?subject=s&body=b\"");
    EXPECT_EQ(MailtoCommandLine("thunderbird -compose %1", "a@x.org;b@y.org", "s", "b"),
              "thunderbird -compose mailto:a@x.org,b@y.org?subject=s&body=b");
}

TEST(MailtoLink, CutNeverSplitsAnEscape) {
    const std::string filler(40000, 'a');
    // "%" as the 32766th, 32765th, 32764th character (counted from 1).
    std::string at32766 = filler, at32765 = filler, at32764 = filler;
    at32766.replace(32765, 3, "%20");
    at32765.replace(32764, 3, "%20");
    at32764.replace(32763, 3, "%20");
    EXPECT_EQ(CutCommandLine(at32766).size(), 32765u);
    EXPECT_EQ(CutCommandLine(at32765).size(), 32764u);
    EXPECT_EQ(CutCommandLine(at32764).size(), 32766u);
    EXPECT_EQ(CutCommandLine(filler).size(), 32766u);
    EXPECT_EQ(CutCommandLine(filler.substr(0, 32766)), filler.substr(0, 32766));

    // A body of escapes in every phase against the limit.
    const std::string command = "mail.exe \"%1\"";
    for (size_t lead = 0; lead < 6; ++lead) {
        const std::string body = std::string(32700 + lead, 'x') + std::string(100, '&');
        const std::string line = MailtoCommandLine(command, "", "s", body);
        EXPECT_LE(line.size(), kMaxCommandLine) << lead;
        EXPECT_GE(line.size(), kMaxCommandLine - 2) << lead;
        EXPECT_TRUE(EscapesWhole(line, 10)) << lead;
        EXPECT_EQ(line.back(), '6') << lead;  // "%26" ends it, whole
    }
}

}  // namespace
}  // namespace qr
