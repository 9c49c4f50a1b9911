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

TExceptionBoxSpec ExceptionBoxSpecFrom(const TIMESettings& settings,
                                       const std::function<UString(const UString&)>& expand,
                                       const UString& exceptionMessage, bool canContinue, int showSetting) {
    TExceptionBoxSpec spec;
    spec.ExceptionMessage = exceptionMessage;
    spec.CanContinue = canContinue;
    spec.FocusedBtn = settings.GetEnum("FocusedBtn");
    spec.UglyBtns = settings.GetBoolean("UglyBtns");
    for (int i = 0; i < kBoxButtonCount; ++i) spec.Captions[i] = expand(settings.GetText(kCaptionKeys[i]));
    spec.OkCaption = expand(settings.GetText("OkBtnTxt"));
    spec.DetailsCaption = expand(settings.GetText("DetailsBtnTxt"));

    if (showSetting == kShowPlainWithDetails || showSetting == kShowPlain) {
        spec.PlainBox = true;
        spec.WithDetails = showSetting == kShowPlainWithDetails;
        spec.Title = WithoutExtension(expand(u"%appname%"));
        spec.Text = PlainBoxText(exceptionMessage);
        // "&OK" answers as continue, "&Details" as show.
        spec.Visible[int(TBoxButton::Continue)] = true;
        spec.Visible[int(TBoxButton::Show)] = spec.WithDetails;
        return spec;
    }
    spec.Title = expand(settings.GetText("TitleBar"));
    spec.Text = expand(settings.GetText("ExceptMsg"));
    for (int i = 0; i < kBoxButtonCount; ++i) spec.Visible[i] = settings.GetBoolean(kVisibleKeys[i]);
    // With the report on view (the large form) there is nothing left to show.
    if (settings.GetBoolean("AutoShowBugRep")) spec.Visible[int(TBoxButton::Show)] = false;
    return spec;
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

TBoxButton EscapeButton(const TExceptionBoxSpec& spec) {
    if (spec.FocusedBtn >= int(TBoxButton::Continue) && spec.FocusedBtn <= int(TBoxButton::Close))
        return TBoxButton(spec.FocusedBtn);
    return spec.CanContinue ? TBoxButton::Continue : TBoxButton::Close;
}

}  // namespace qr
