#pragma once
// What the crash dialog shows and where its parts stand: filled from a
// failure's settings, laid out from measured text sizes. Portable, so the
// rules are tested without a window; ExceptionBox_win32.h draws it.
#include <functional>

#include "base/Text.h"
#include "crashreport/settings/Settings.h"

namespace qr {

// The dialog's buttons by index (as the settings' FocusedBtn counts them).
enum class TBoxButton { Send = 0, Save = 1, Print = 2, Show = 3, Continue = 4, Restart = 5, Close = 6 };
inline constexpr int kBoxButtonCount = 7;

struct TBoxContent {
    UString Title;  // TitleBar expanded (full dialog) / program name without extension (plain boxes)
    UString Text;   // ExceptMsg expanded (full dialog) / the exception message with line breaks (plain boxes)
    UString ExceptionMessage;           // what Ctrl+C copies in the small form
    UString Captions[kBoxButtonCount];  // SendBtnTxt .. CloseBtnTxt
    bool Visible[kBoxButtonCount] =
        {};  // ...BtnVis; Show hidden in the large form; plain boxes: Continue (+ Show)
    bool CanContinue = true;
    int FocusedBtn = 0;  // FocusedBtn setting (plain boxes focus "&OK" whatever it says)
    bool UglyBtns = false;
    bool PlainBox = false;              // show settings 2 and 3
    bool WithDetails = false;           // show setting 2: "&Details" beside "&OK"
    UString OkCaption, DetailsCaption;  // OkBtnTxt, DetailsBtnTxt
    bool FirstOpening = true;           // plays the error sound
    bool Large = false;                 // the large form: resizable, with the report's tabs
};

// Fills a content from a failure's settings; `expand` expands placeholders
// (the caller knows the failure). showSetting 2 and 3 give the plain boxes,
// anything else the full dialog.
TBoxContent BoxContentFrom(const TIMESettings& settings, const std::function<UString(const UString&)>& expand,
                           const UString& exceptionMessage, bool canContinue, int showSetting);

// The plain boxes' line-break rule: every ". " whose full stop is the 20th
// character or later, but lies before the 10th-last character, becomes
// "." CR LF.
UString PlainBoxText(const UString& message);

// "name.exe" -> "name": the plain boxes' title from the program file's name.
UString WithoutExtension(const UString& fileName);

// The escape key's button: FocusedBtn 4, 5 or 6 -> that button; else
// Continue when the failure can be continued, else Close.
TBoxButton EscapeButton(const TBoxContent& content);

struct TBoxRect {
    int Left = 0, Top = 0, Width = 0, Height = 0;
    int Right() const { return Left + Width; }
    int Bottom() const { return Top + Height; }
    bool Empty() const { return Width <= 0 || Height <= 0; }
};
struct TBoxSize {
    int Width = 0, Height = 0;
};
struct TBoxLayout {
    TBoxRect Buttons[kBoxButtonCount];  // by index; hidden ones empty
    TBoxRect Icon;                      // empty without icon
    TBoxRect Text;
    TBoxRect Tabs;  // the large form's tab control; empty in the small form
    int ClientWidth = 0, ClientHeight = 0;
};

// Size of the text word-wrapped to at most the given width (the caller
// measures with the dialog's font).
using TTextMeasure = std::function<TBoxSize(int wrapWidth)>;

// Fixed measures of the dialog.
inline constexpr int kBoxWrapWidth = 664;  // the text's wrap width without icon
inline constexpr int kBoxIconSize = 32;

// The small form: captionWidths are the captions' text widths in the
// dialog's font.
TBoxLayout SmallBoxLayout(const TBoxContent& content, const int captionWidths[kBoxButtonCount],
                          const TTextMeasure& measureText, bool hasIcon);

// The large form from the small form's layout (without the show button):
// at least 664 pixels wide, 491 pixels higher, neither beyond `limit` (the
// screen less five caption heights, as client size), the end buttons
// moved to the new right edge and the tab control filling the room below
// the buttons, 5 pixels from the edges.
inline constexpr int kLargeMinWidth = 664;
inline constexpr int kLargeExtraHeight = 491;
TBoxLayout LargeBoxLayout(const TBoxLayout& small, TBoxSize limit);

// The large form at another client size, never below its initial one: the
// end buttons follow the right edge, the tab control grows.
TBoxLayout ResizedBoxLayout(const TBoxLayout& initial, int clientWidth, int clientHeight);

// The plain boxes: "&OK" (Buttons[Continue]) and, with details,
// "&Details" (Buttons[Show]) centred below the text; okWidth and
// detailsWidth are their captions' text widths.
TBoxLayout PlainBoxLayout(const TBoxContent& content, int okWidth, int detailsWidth,
                          const TTextMeasure& measureText, bool hasIcon);

}  // namespace qr
