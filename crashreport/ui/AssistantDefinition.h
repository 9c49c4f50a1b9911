#pragma once
// An assistant as the settings define it: name, title and its forms.
#include <optional>
#include <string_view>
#include <vector>

#include "base/Text.h"
#include "crashreport/settings/Settings.h"

namespace qr {

struct TAssistantDefinition {
    UString Name;
    UString Title;
    std::vector<UString> Forms;
};

// Looks through "Assistant1", "Assistant2", ... until one is missing and
// returns the one whose first field is `name` (any letter case). The
// screenshot form is left out when there is no screenshot to show or
// "ScrShotDepth" is 0.
std::optional<TAssistantDefinition> FindAssistant(const TIMESettings& settings, std::u16string_view name,
                                                  bool hasScreenshot);

// The resource that holds a form's stored description: "TME" and the
// form's name in upper case.
UString FormResourceName(std::u16string_view formName);

}  // namespace qr
