#include <cstdlib>

#include "app/lang/GermanUI.h"

namespace qr {

// No interface language of its own here: the slot stays unbound.
TLanguageSlot UserUILanguageSlot() {
    return TLanguageSlot([] { return TLanguageSlot::TFunction(); });
}

bool IsGermanUI() {
    TLanguageSlot uiLanguage = UserUILanguageSlot();
    // The user's locale decides, in the order the C library consults it.
    return IsGermanUI(uiLanguage, []() -> uint32_t {
        for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
            const char* value = std::getenv(variable);
            if (value && *value) return LocaleIdFromName(value);
        }
        return 0;
    });
}

}  // namespace qr
