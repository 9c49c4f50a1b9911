#include "crashreport/ui/AssistantDefinition.h"

namespace qr {

std::optional<TAssistantDefinition> FindAssistant(const TIMESettings& settings, std::u16string_view name,
                                                  bool hasScreenshot) {
    for (int number = 1;; ++number) {
        std::vector<UString> fields;
        try {
            fields = settings.Assistant(number);
        } catch (const EUnknownSettingError&) {
            return std::nullopt;  // the numbering ends at the first gap
        }
        if (fields.empty() || !SameText(fields[0], name)) continue;
        TAssistantDefinition definition;
        definition.Name = fields[0];
        if (fields.size() > 1) definition.Title = fields[1];
        bool screenshot = hasScreenshot && settings.GetInteger("ScrShotDepth") != 0;
        for (size_t i = 2; i < fields.size(); ++i)
            if (screenshot || !SameText(fields[i], u"ScrShotForm")) definition.Forms.push_back(fields[i]);
        return definition;
    }
}

UString FormResourceName(std::u16string_view formName) {
    UString name = u"TME";
    for (char16_t c : formName) name += c >= u'a' && c <= u'z' ? char16_t(c - u'a' + u'A') : c;
    return name;
}

}  // namespace qr
