#include "crashreport/settings/StoredSettings.h"

// Compiled in from resources/tobrisk_settings.txt by the build.
extern const unsigned char kTobriskSettingsText[];
extern const unsigned kTobriskSettingsText_size;

namespace qr {

std::string_view EmbeddedSettingsText() {
    return {reinterpret_cast<const char*>(kTobriskSettingsText), kTobriskSettingsText_size};
}

}  // namespace qr
