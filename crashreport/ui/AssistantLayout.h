#pragma once
// Where an assistant form's parts stand: the headline, the step numbers,
// the inset panel with the items stacked inside, the three buttons below.
// Portable, from measured sizes, so the rules are tested without a window.
#include <vector>

#include "crashreport/ui/ExceptionBox.h"

namespace qr {

struct TNVItemMeasure {
    int Width = 0;  // what the item needs; 0: as wide as the panel allows
    int Height = 0;
    int Spacing = 0;  // extra room above it
};

struct TNVFormMeasure {
    int HeadlineWidth = 0, HeadlineHeight = 0;
    int StepCount = 1;
    int MinWidth = 0;
    int ButtonWidths[3] = {};  // continue, skip, cancel (caption widths plus margins)
    std::vector<TNVItemMeasure> Items;
};

struct TNVFormLayout {
    TBoxRect Headline;
    std::vector<TBoxRect> Steps;  // step 1 first
    TBoxRect Panel;
    std::vector<TBoxRect> Items;
    TBoxRect Buttons[3];
    int ClientWidth = 0, ClientHeight = 0;
};

inline constexpr int kNVMinFormWidth = 315;
inline constexpr int kNVStepDistance = 19;

TNVFormLayout AssistantFormLayout(const TNVFormMeasure& measure);

}  // namespace qr
