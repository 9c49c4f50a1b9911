// What the crash dialog shows: the content filled from this program's
// settings, the plain boxes' line breaks, the escape key's button, and the
// flat buttons' colours.
#include <gtest/gtest.h>

#include <memory>

#include "crashreport/settings/StoredSettings.h"
#include "crashreport/ui/BoxColours.h"
#include "crashreport/ui/ExceptionBox.h"

namespace qr {
namespace {

UString Repeat(char16_t c, size_t n) { return UString(n, c); }

TEST(PlainBoxText, BreaksFromTheTwentiethCharacterToBeforeTheTenthLast) {
    // Full stop as the 20th character, nine characters after the blank: the
    // full stop stands before the 10th-last character (the blank).
    const UString first = Repeat(u'a', 19) + u". " + Repeat(u'b', 9);
    EXPECT_EQ(PlainBoxText(first), Repeat(u'a', 19) + u".\r\n" + Repeat(u'b', 9));
    // One character less at the end: the full stop is the 10th-last itself.
    const UString lastTooClose = Repeat(u'a', 19) + u". " + Repeat(u'b', 8);
    EXPECT_EQ(PlainBoxText(lastTooClose), lastTooClose);
    // Full stop as the 19th character: too early.
    const UString early = Repeat(u'a', 18) + u". " + Repeat(u'b', 20);
    EXPECT_EQ(PlainBoxText(early), early);
}

TEST(PlainBoxText, EverySentenceInTheMiddleEndsItsLine) {
    EXPECT_EQ(PlainBoxText(u"Short. The record was changed by another user. Try again. It failed. Ok."),
              u"Short. The record was changed by another user.\r\nTry again.\r\nIt failed. Ok.");
    // Only a full stop followed by a blank breaks; the blank is replaced.
    EXPECT_EQ(PlainBoxText(u"Version 1.2.3 of the module.dll failed badly. Now what."),
              u"Version 1.2.3 of the module.dll failed badly.\r\nNow what.");
}

TEST(PlainBoxText, ShortTextsStayAsTheyAre) {
    EXPECT_EQ(PlainBoxText(u""), u"");
    EXPECT_EQ(PlainBoxText(u"Error. Bad. Worse."), u"Error. Bad. Worse.");
    EXPECT_EQ(PlainBoxText(u"Invalid input value. "), u"Invalid input value. ");
}

TEST(ExceptionBoxEscape, ActsAsTheFocusedEndButtonElseContinueOrClose) {
    TBoxContent content;
    content.FocusedBtn = 0;
    EXPECT_EQ(EscapeButton(content), TBoxButton::Continue);
    content.CanContinue = false;
    EXPECT_EQ(EscapeButton(content), TBoxButton::Close);
    content.FocusedBtn = 3;  // show is no way out
    EXPECT_EQ(EscapeButton(content), TBoxButton::Close);
    for (TBoxButton b : {TBoxButton::Continue, TBoxButton::Restart, TBoxButton::Close}) {
        content.FocusedBtn = int(b);
        EXPECT_EQ(EscapeButton(content), b);
    }
}

class ExceptionBoxSpecTest : public ::testing::Test {
protected:
    TIMESettings FSettings{std::make_shared<TSettingsTable>(TSettingsTable::Parse(EmbeddedSettingsText()))};
    // Stands in for the failure's expansion: only the program's name.
    std::function<UString(const UString&)> FExpand = [](const UString& text) {
        UString out = text;
        const UString name = u"%appname%";
        for (size_t at; (at = out.find(name)) != UString::npos;)
            out.replace(at, name.size(), u"quellora-remote.exe");
        return out;
    };
};

TEST_F(ExceptionBoxSpecTest, FullDialogFromTheProgramsSettings) {
    const TBoxContent content = BoxContentFrom(FSettings, FExpand, u"Access violation", false, 0);
    EXPECT_FALSE(content.PlainBox);
    EXPECT_EQ(content.Title, u"quellora-remote.exe");
    EXPECT_EQ(content.Text, u"An error occurred in the application.");
    EXPECT_EQ(content.ExceptionMessage, u"Access violation");
    const char16_t* captions[] = {u"send bug report",  u"save bug report",      u"print bug report",
                                  u"show bug report",  u"continue application", u"restart application",
                                  u"close application"};
    const bool visible[] = {true, false, false, true, true, true, true};
    for (int i = 0; i < kBoxButtonCount; ++i) {
        EXPECT_EQ(content.Captions[i], captions[i]) << i;
        EXPECT_EQ(content.Visible[i], visible[i]) << i;
    }
    EXPECT_EQ(content.FocusedBtn, int(TBoxButton::Send));
    EXPECT_FALSE(content.CanContinue);
    EXPECT_FALSE(content.UglyBtns);
    EXPECT_EQ(EscapeButton(content), TBoxButton::Close);
}

TEST_F(ExceptionBoxSpecTest, ShowIsHiddenWhileTheReportIsOnView) {
    TFailureSettings failure(FSettings);
    failure.SetBoolean("AutoShowBugRep", true);
    const TBoxContent content = BoxContentFrom(failure, FExpand, u"x", true, 0);
    EXPECT_FALSE(content.Visible[int(TBoxButton::Show)]);
    EXPECT_TRUE(content.Visible[int(TBoxButton::Send)]);
}

TEST_F(ExceptionBoxSpecTest, PlainBoxesTakeTheProgramNameAndTheBrokenMessage) {
    const UString message = u"Field 'Name' must have a value. Enter a value and try again.";
    const TBoxContent details = BoxContentFrom(FSettings, FExpand, message, true, 2);
    EXPECT_TRUE(details.PlainBox);
    EXPECT_TRUE(details.WithDetails);
    EXPECT_EQ(details.Title, u"quellora-remote");
    EXPECT_EQ(details.Text, u"Field 'Name' must have a value.\r\nEnter a value and try again.");
    EXPECT_EQ(details.ExceptionMessage, message);
    EXPECT_EQ(details.OkCaption, u"&OK");
    EXPECT_EQ(details.DetailsCaption, u"&Details");
    for (int i = 0; i < kBoxButtonCount; ++i)
        EXPECT_EQ(details.Visible[i], i == int(TBoxButton::Continue) || i == int(TBoxButton::Show)) << i;

    const TBoxContent okOnly = BoxContentFrom(FSettings, FExpand, message, true, 3);
    EXPECT_TRUE(okOnly.PlainBox);
    EXPECT_FALSE(okOnly.WithDetails);
    EXPECT_FALSE(okOnly.Visible[int(TBoxButton::Show)]);
    EXPECT_TRUE(okOnly.Visible[int(TBoxButton::Continue)]);
}

TEST(BoxColours, ButtonFaceShiftsTowardsWhereThereIsRoom) {
    const TColour face = MakeColour(212, 208, 200);
    EXPECT_EQ(ButtonBackground(face, false, 32), MakeColour(228, 224, 216));
    EXPECT_EQ(ButtonBackground(face, true, 24), MakeColour(220, 216, 208));
    EXPECT_EQ(ButtonBackground(MakeColour(240, 240, 230), false, 32), MakeColour(224, 224, 214));
    EXPECT_EQ(ButtonBackground(face, false, 8), face);
    EXPECT_EQ(ButtonBackground(face, false, 15), MakeColour(228, 224, 216));
}

TEST(BoxColours, BlendsStepByStepAndPicturesByAlphaPlusOne) {
    const TColour from = MakeColour(0, 100, 200), to = MakeColour(200, 100, 0);
    EXPECT_EQ(BlendColours(from, to, 0, 8), from);
    EXPECT_EQ(BlendColours(from, to, 4, 8), MakeColour(100, 100, 100));
    EXPECT_EQ(BlendColours(from, to, 8, 8), to);

    // blue, green, red, alpha: opaque, clear, half.
    const uint8_t pixels[] = {10, 20, 30, 255, 10, 20, 30, 0, 0, 0, 0, 127};
    uint8_t out[12];
    BlendPicture(pixels, 3, MakeColour(255, 128, 0), out);
    const uint8_t expected[] = {10,
                                20,
                                30,
                                0,  // taken whole
                                (10 * 1 + 0 * 255) / 256,
                                (20 * 1 + 128 * 255) / 256,
                                (30 * 1 + 255 * 255) / 256,
                                0,
                                0,
                                128 * 128 / 256,
                                255 * 128 / 256,
                                0};
    for (int i = 0; i < 12; ++i) EXPECT_EQ(out[i], expected[i]) << i;
}

}  // namespace
}  // namespace qr
