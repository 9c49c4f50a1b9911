#include "crashreport/ui/AssistantLayout.h"

#include <algorithm>

namespace qr {

namespace {
constexpr int kHeadlineLeft = 11, kHeadlineTop = 6;
constexpr int kPanelLeft = 8, kPanelTop = 25;
constexpr int kItemsTop = 40, kItemInset = 12, kItemGap = 4;
constexpr int kPanelBottomMargin = 12;
constexpr int kEdge = 8;  // buttons from the window's edges, and the gap between continue and skip
constexpr int kButtonHeight = 23;
constexpr int kButtonsExtra = 32, kStepsExtra = 36;
constexpr int kStepTop = 4;
}  // namespace

TNVFormLayout AssistantFormLayout(const TNVFormMeasure& m) {
    TNVFormLayout layout;
    const int buttons = m.ButtonWidths[0] + m.ButtonWidths[1] + m.ButtonWidths[2];
    int width = std::max({kNVMinFormWidth, m.MinWidth, buttons + kButtonsExtra,
                          m.HeadlineWidth + kNVStepDistance * m.StepCount + kStepsExtra});
    for (const TNVItemMeasure& item : m.Items)
        width = std::max(width, item.Width + 2 * (kPanelLeft + kItemInset));
    layout.ClientWidth = width;

    layout.Headline = {kHeadlineLeft, kHeadlineTop, m.HeadlineWidth, m.HeadlineHeight};
    for (int i = 0; i < m.StepCount; ++i)
        layout.Steps.push_back({width - kEdge - (m.StepCount - i) * kNVStepDistance, kStepTop,
                                kNVStepDistance - 2, kNVStepDistance});

    const int itemLeft = kPanelLeft + kItemInset, itemRoom = width - 2 * itemLeft;
    int y = kItemsTop;
    for (const TNVItemMeasure& item : m.Items) {
        const int top = y + item.Spacing;
        layout.Items.push_back(
            {itemLeft, top, item.Width > 0 ? std::min(item.Width, itemRoom) : itemRoom, item.Height});
        y = top + item.Height + kItemGap;
    }
    const int panelBottom = y - kItemGap + kPanelBottomMargin;
    layout.Panel = {kPanelLeft, kPanelTop, width - 2 * kPanelLeft, panelBottom - kPanelTop};

    const int buttonTop = panelBottom + kEdge;
    layout.Buttons[0] = {kEdge, buttonTop, m.ButtonWidths[0], kButtonHeight};
    layout.Buttons[1] = {layout.Buttons[0].Right() + kEdge, buttonTop, m.ButtonWidths[1], kButtonHeight};
    layout.Buttons[2] = {width - kEdge - m.ButtonWidths[2], buttonTop, m.ButtonWidths[2], kButtonHeight};
    layout.ClientHeight = buttonTop + kButtonHeight + kEdge;
    return layout;
}

}  // namespace qr
