#pragma once
// Where the crash reporter's stored settings come from: on Windows the
// RCDATA resource "TTOBRISK" of a module, elsewhere the same text compiled
// into the program.
#include <optional>
#include <string>
#include <string_view>

namespace qr {

// Resource name of the stored settings on Windows.
inline constexpr wchar_t kSettingsResourceName[] = L"TTOBRISK";

// The stored settings text of a module (null: the program file), or nothing
// when the module has none.
std::optional<std::string> LoadStoredSettingsText(void* module = nullptr);

// resources/tobrisk_settings.txt as compiled into the program
// (crashreport/settings/settings_embed.cmake).
std::string_view EmbeddedSettingsText();

}  // namespace qr
