#include "crashreport/ui/ExceptionBox.h"

namespace qr {

namespace {

// Settings of the buttons, in index order.
const char* const kCaptionKeys[kBoxButtonCount] = {"SendBtnTxt", "SaveBtnTxt",     "PrintBtnTxt",
                                                   "ShowBtnTxt", "ContinueBtnTxt", "RestartBtnTxt",
                                                   "CloseBtnTxt"};
const char* const kVisibleKeys[kBoxButtonCount] = {"SendBtnVis", "SaveBtnVis",     "PrintBtnVis",
                                                   "ShowBtnVis", "ContinueBtnVis", "RestartBtnVis",
                                                   "CloseBtnVis"};

constexpr int kShowPlainWithDetails = 2;
constexpr int kShowPlain = 3;

}  // namespace

TBoxContent BoxContentFrom(const TIMESettings& settings, const std::function<UString(const UString&)>& expand,
                           const UString& exceptionMessage, bool canContinue, int showSetting) {
    TBoxContent content;
    content.ExceptionMessage = exceptionMessage;
    content.CanContinue = canContinue;
    content.FocusedBtn = settings.GetEnum("FocusedBtn");
    content.UglyBtns = settings.GetBoolean("UglyBtns");
    for (int i = 0; i < kBoxButtonCount; ++i) content.Captions[i] = expand(settings.GetText(kCaptionKeys[i]));
    content.OkCaption = expand(settings.GetText("OkBtnTxt"));
    content.DetailsCaption = expand(settings.GetText("DetailsBtnTxt"));

    if (showSetting == kShowPlainWithDetails || showSetting == kShowPlain) {
        content.PlainBox = true;
        content.WithDetails = showSetting == kShowPlainWithDetails;
        content.Title = WithoutExtension(expand(u"%appname%"));
        content.Text = PlainBoxText(exceptionMessage);
        // "&OK" answers as continue, "&Details" as show.
        content.Visible[int(TBoxButton::Continue)] = true;
        content.Visible[int(TBoxButton::Show)] = content.WithDetails;
        return content;
    }
    content.Title = expand(settings.GetText("TitleBar"));
    content.Text = expand(settings.GetText("ExceptMsg"));
    for (int i = 0; i < kBoxButtonCount; ++i) content.Visible[i] = settings.GetBoolean(kVisibleKeys[i]);
    // With the report on view (the large form) there is nothing left to show.
    // The report is shown: the large form, without the show button.
    content.Large = settings.GetBoolean("AutoShowBugRep");
    if (content.Large) content.Visible[int(TBoxButton::Show)] = false;
    return content;
}

UString PlainBoxText(const UString& message) {
    // Breaks after the 19th character and before the last ten, so that short
    // sentences at either end stay on the neighbouring line. Positions are
    // those of the message as given.
    const size_t length = message.size();
    UString result;
    result.reserve(length + 8);
    for (size_t i = 0; i < length; ++i) {
        const bool breakHere = i >= 19 && i + 10 < length && message[i] == u'.' && message[i + 1] == u' ';
        result += message[i];
        if (breakHere) {
            result += u"\r\n";
            ++i;  // the blank is replaced
        }
    }
    return result;
}

UString WithoutExtension(const UString& fileName) {
    const size_t dot = fileName.rfind(u'.');
    return dot == UString::npos ? fileName : fileName.substr(0, dot);
}

TBoxButton EscapeButton(const TBoxContent& content) {
    if (content.FocusedBtn >= int(TBoxButton::Continue) && content.FocusedBtn <= int(TBoxButton::Close))
        return TBoxButton(content.FocusedBtn);
    return content.CanContinue ? TBoxButton::Continue : TBoxButton::Close;
}

}  // namespace qr
