// Without resources, the program's settings are the compiled-in text; no
// other module carries any.
#include "crashreport/settings/StoredSettings.h"

namespace qr {

std::optional<std::string> LoadStoredSettingsText(void* module) {
    if (module) return std::nullopt;
    return std::string(EmbeddedSettingsText());
}

}  // namespace qr
