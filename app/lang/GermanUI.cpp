#include "app/lang/GermanUI.h"

#include "base/Text.h"

namespace qr {

bool IsGermanLanguageId(uint32_t languageOrLocale) {
    switch (languageOrLocale & 0xFFFF) {
        case 0x0407:  // Germany
        case 0x0807:  // Switzerland
        case 0x0C07:  // Austria
        case 0x1007:  // Luxembourg
        case 0x1407:  // Liechtenstein
            return true;
        default:
            return false;
    }
}

uint16_t TLanguageSlot::operator()() {
    if (!FBound) {
        FFunction = FBind ? FBind() : TFunction();
        FBound = true;
    }
    return FFunction ? FFunction() : 0;
}

bool IsGermanUI(TLanguageSlot& uiLanguage, const std::function<uint32_t()>& userDefaultLcid) {
    uint32_t id = uiLanguage();
    if (id == 0 && userDefaultLcid) id = userDefaultLcid();
    return IsGermanLanguageId(id);
}

uint32_t LocaleIdFromName(std::string_view name) {
    // "language[_TERRITORY][.codeset][@modifier]"
    name = name.substr(0, name.find_first_of(".@"));
    std::string_view language = name.substr(0, name.find('_'));
    std::string_view territory = language.size() < name.size() ? name.substr(language.size() + 1) : "";
    if (SameText(language, "en")) return 0x0409;
    if (!SameText(language, "de")) return 0;
    static constexpr struct {
        std::string_view Territory;
        uint32_t Id;
    } kGerman[] = {{"CH", 0x0807}, {"AT", 0x0C07}, {"LU", 0x1007}, {"LI", 0x1407}};
    for (const auto& g : kGerman)
        if (SameText(territory, g.Territory)) return g.Id;
    return 0x0407;
}

}  // namespace qr
