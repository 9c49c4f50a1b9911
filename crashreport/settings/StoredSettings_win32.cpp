#include <windows.h>

#include "crashreport/settings/StoredSettings.h"

namespace qr {

std::optional<std::string> LoadStoredSettingsText(void* module) {
    HMODULE handle = module ? static_cast<HMODULE>(module) : GetModuleHandleW(nullptr);
    HRSRC resource = FindResourceW(handle, kSettingsResourceName, MAKEINTRESOURCEW(10));  // RT_RCDATA
    if (!resource) return std::nullopt;
    HGLOBAL loaded = LoadResource(handle, resource);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data) return std::nullopt;
    // Resource memory belongs to the module image; nothing to release.
    return std::string(static_cast<const char*>(data), SizeofResource(handle, resource));
}

}  // namespace qr
