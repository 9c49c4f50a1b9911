// Where the parts of the small form and of the plain boxes stand. All
// measures are client pixels.
#include <algorithm>

#include "crashreport/ui/ExceptionBox.h"

namespace qr {

namespace {

constexpr int kIconLeft = 10, kIconTop = 9;
constexpr int kTextTop = 12;
constexpr int kTextLeftWithIcon = 51, kTextLeftWithoutIcon = 11;
constexpr int kTextRightMargin = 10;
constexpr int kCentreBelowHeight = 26;  // lower text is centred on the icon
constexpr int kButtonHeight = 22, kUglyButtonHeight = 26;
constexpr int kButtonExtra = 39;  // picture and margins beside the caption
constexpr int kButtonGap = 4;
constexpr int kBelowText = 5;
constexpr int kRightEdge = 8, kLeftEdge = 6;
constexpr int kColumnMinTop = 7;
constexpr int kColumnGap = 8;  // between the column and what stands left of it
constexpr int kBottomMargin = 8;
constexpr int kPlainButtonHeight = 23, kPlainNarrow = 75, kPlainMinWidth = 79;
constexpr int kPlainGap = 6, kPlainBelowText = 12, kPlainSideMargin = 10;
constexpr int kTabsEdge = 5, kTabsGap = 8, kTabsMinHeight = 60;  // the large form's tab control

const TBoxButton kActionButtons[] = {TBoxButton::Send, TBoxButton::Save, TBoxButton::Print, TBoxButton::Show};
const TBoxButton kEndButtons[] = {TBoxButton::Continue, TBoxButton::Restart, TBoxButton::Close};

// The icon, the text placed for the given wrap width, and the bottom of
// both. Fills layout.Icon and layout.Text.
int PlaceIconAndText(TBoxLayout& layout, const TTextMeasure& measureText, int wrapWidth, bool hasIcon) {
    const int textLeft = hasIcon ? kTextLeftWithIcon : kTextLeftWithoutIcon;
    const TBoxSize text = measureText(wrapWidth);
    int textTop = kTextTop;
    if (hasIcon) {
        layout.Icon = {kIconLeft, kIconTop, kBoxIconSize, kBoxIconSize};
        if (text.Height < kCentreBelowHeight) textTop = kIconTop + (kBoxIconSize - text.Height) / 2;
    }
    layout.Text = {textLeft, textTop, text.Width, text.Height};
    return std::max(layout.Text.Bottom(), hasIcon ? layout.Icon.Bottom() : 0);
}

int WrapWidth(bool hasIcon, int buttonRowWidth) {
    const int iconArea = kTextLeftWithIcon - kTextLeftWithoutIcon;
    return std::max(kBoxWrapWidth - (hasIcon ? iconArea : 0), buttonRowWidth);
}

int ContentBottom(const TBoxLayout& layout, int top) {
    int bottom = top;
    for (const TBoxRect& r : layout.Buttons) bottom = std::max(bottom, r.Bottom());
    return std::max({bottom, layout.Text.Bottom(), layout.Icon.Bottom()});
}

}  // namespace

TBoxLayout SmallBoxLayout(const TBoxContent& content, const int captionWidths[kBoxButtonCount],
                          const TTextMeasure& measureText, bool hasIcon) {
    TBoxLayout layout;
    const int height = content.UglyBtns ? kUglyButtonHeight : kButtonHeight;
    auto shown = [&](TBoxButton b) { return content.Visible[int(b)]; };
    auto width = [&](TBoxButton b) { return captionWidths[int(b)] + kButtonExtra; };

    int endCount = 0, actionCount = 0, columnWidth = 0, actionRowWidth = 0;
    for (TBoxButton b : kEndButtons) {
        if (!shown(b)) continue;
        ++endCount;
        columnWidth = std::max(columnWidth, width(b));
    }
    for (TBoxButton b : kActionButtons) {
        if (!shown(b)) continue;
        actionRowWidth += (actionCount++ ? kButtonGap : 0) + width(b);
    }
    const bool stacked = endCount > 1 && actionCount > 0;

    if (!stacked) {
        // Every shown button in one row below the text, in index order.
        int rowWidth = 0;
        for (int i = 0; i < kBoxButtonCount; ++i)
            if (content.Visible[i]) rowWidth += (rowWidth ? kButtonGap : 0) + width(TBoxButton(i));
        const int top =
            PlaceIconAndText(layout, measureText, WrapWidth(hasIcon, rowWidth), hasIcon) + kBelowText;
        int x = kLeftEdge;
        for (int i = 0; i < kBoxButtonCount; ++i) {
            if (!content.Visible[i]) continue;
            layout.Buttons[i] = {x, top, width(TBoxButton(i)), height};
            x += layout.Buttons[i].Width + kButtonGap;
        }
        layout.ClientWidth =
            std::max(layout.Text.Right() + kTextRightMargin, kLeftEdge + rowWidth + kRightEdge);
        layout.ClientHeight = ContentBottom(layout, top) + kBottomMargin;
        return layout;
    }

    const int bottomRowWidth = kLeftEdge + actionRowWidth + kColumnGap + columnWidth + kRightEdge;
    const int topBottom = PlaceIconAndText(layout, measureText, WrapWidth(hasIcon, bottomRowWidth), hasIcon);

    // The column starts below the text; three buttons move it up one row
    // into the free space beside the text.
    const int row = height + kButtonGap;
    int columnTop = layout.Text.Bottom() + kBelowText;
    if (endCount == 3) columnTop = std::max(kColumnMinTop, columnTop - row);
    int lowestTop = columnTop + (endCount - 1) * row;
    // The bottom-left row shares the lowest column row and must stay below
    // the icon and the text.
    if (lowestTop < topBottom + kBelowText) {
        columnTop += topBottom + kBelowText - lowestTop;
        lowestTop = topBottom + kBelowText;
    }

    int clientWidth = std::max(layout.Text.Right() + kTextRightMargin, bottomRowWidth);
    if (columnTop < topBottom)  // the column stands beside the text
        clientWidth = std::max(clientWidth, layout.Text.Right() + kColumnGap + columnWidth + kRightEdge);
    layout.ClientWidth = clientWidth;

    int y = columnTop;
    for (TBoxButton b : kEndButtons) {
        if (!shown(b)) continue;
        layout.Buttons[int(b)] = {clientWidth - kRightEdge - columnWidth, y, columnWidth, height};
        y += row;
    }
    int x = kLeftEdge;
    for (TBoxButton b : kActionButtons) {
        if (!shown(b)) continue;
        layout.Buttons[int(b)] = {x, lowestTop, width(b), height};
        x += width(b) + kButtonGap;
    }
    layout.ClientHeight = ContentBottom(layout, 0) + kBottomMargin;
    return layout;
}

TBoxLayout LargeBoxLayout(const TBoxLayout& small, TBoxSize limit) {
    TBoxLayout layout = small;
    int buttonsBottom = 0;
    for (const TBoxRect& r : small.Buttons) buttonsBottom = std::max(buttonsBottom, r.Bottom());
    layout.Tabs = {kTabsEdge, std::max(buttonsBottom, small.Text.Bottom()) + kTabsGap, 0, 0};
    const int width = std::max(small.ClientWidth, std::min(kLargeMinWidth, limit.Width));
    // A screen too small for the rule still leaves the tab control some room.
    const int height = std::max(std::min(small.ClientHeight + kLargeExtraHeight, limit.Height),
                                layout.Tabs.Top + kTabsMinHeight + kTabsEdge);
    // The small form's width is where the tab control starts to grow from.
    layout.ClientWidth = small.ClientWidth;
    layout.ClientHeight = layout.Tabs.Top + kTabsEdge;
    layout.Tabs.Width = layout.ClientWidth - 2 * kTabsEdge;
    return ResizedBoxLayout(layout, width, height);
}

TBoxLayout ResizedBoxLayout(const TBoxLayout& initial, int clientWidth, int clientHeight) {
    TBoxLayout layout = initial;
    const int dx = std::max(clientWidth, initial.ClientWidth) - initial.ClientWidth;
    const int dy = std::max(clientHeight, initial.ClientHeight) - initial.ClientHeight;
    for (TBoxButton b : kEndButtons) layout.Buttons[int(b)].Left += layout.Buttons[int(b)].Empty() ? 0 : dx;
    layout.ClientWidth += dx;
    layout.ClientHeight += dy;
    layout.Tabs.Width = layout.ClientWidth - kTabsEdge - layout.Tabs.Left;
    layout.Tabs.Height = layout.ClientHeight - kTabsEdge - layout.Tabs.Top;
    return layout;
}

TBoxLayout PlainBoxLayout(const TBoxContent& content, int okWidth, int detailsWidth,
                          const TTextMeasure& measureText, bool hasIcon) {
    TBoxLayout layout;
    auto buttonWidth = [](int captionWidth) {
        const int w = captionWidth + kButtonExtra;
        return w < kPlainNarrow ? kPlainMinWidth : w;
    };
    const int ok = buttonWidth(okWidth);
    const int details = content.WithDetails ? buttonWidth(detailsWidth) : 0;
    const int rowWidth = ok + (content.WithDetails ? kPlainGap + details : 0);

    const int top = PlaceIconAndText(layout, measureText, WrapWidth(hasIcon, 0), hasIcon) + kPlainBelowText;
    layout.ClientWidth = std::max(layout.Text.Right() + kTextRightMargin, rowWidth + 2 * kPlainSideMargin);
    const int left = (layout.ClientWidth - rowWidth) / 2;
    layout.Buttons[int(TBoxButton::Continue)] = {left, top, ok, kPlainButtonHeight};
    if (content.WithDetails)
        layout.Buttons[int(TBoxButton::Show)] = {left + ok + kPlainGap, top, details, kPlainButtonHeight};
    layout.ClientHeight = top + kPlainButtonHeight + kBottomMargin;
    return layout;
}

}  // namespace qr
