#pragma once
// Whether the user interface should be German: the user's interface
// language, or the user's locale where the system cannot tell it, is one of
// the German variants. Everything else gets English.
#include <cstdint>
#include <functional>
#include <string_view>

namespace qr {

// True exactly for 0x0407, 0x0807, 0x0C07, 0x1007 and 0x1407 in the low 16
// bits (a locale identifier carries its language there).
bool IsGermanLanguageId(uint32_t languageOrLocale);

// A function slot bound on its first call. `bind` returns the function to
// use, or an empty one when the system lacks it; the slot then answers 0.
class TLanguageSlot {
public:
    using TFunction = std::function<uint16_t()>;
    explicit TLanguageSlot(std::function<TFunction()> bind) : FBind(std::move(bind)) {}
    uint16_t operator()();

private:
    std::function<TFunction()> FBind;
    TFunction FFunction;
    bool FBound = false;
};

// The decision, given the user's interface language slot and the user's
// locale as a fallback for a 0 answer.
bool IsGermanUI(TLanguageSlot& uiLanguage, const std::function<uint32_t()>& userDefaultLcid);

// The slot of this system's call for the user's interface language.
TLanguageSlot UserUILanguageSlot();

// The decision for the current user of this system.
bool IsGermanUI();

// Locale names as POSIX systems give them ("de_AT.UTF-8") to a locale
// identifier; 0 when the name is not recognised.
uint32_t LocaleIdFromName(std::string_view localeName);

}  // namespace qr
