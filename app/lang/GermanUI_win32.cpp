#include <windows.h>

#include "app/lang/GermanUI.h"

namespace qr {

TLanguageSlot UserUILanguageSlot() {
    // GetUserDefaultUILanguage is missing on old systems, so it is looked up
    // at run time instead of being imported.
    return TLanguageSlot([]() -> TLanguageSlot::TFunction {
        HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
        if (!kernel) return {};
        FARPROC proc = GetProcAddress(kernel, "GetUserDefaultUILanguage");
        if (!proc) return {};
        auto function = reinterpret_cast<LANGID(WINAPI*)()>(reinterpret_cast<void*>(proc));
        return [function] { return uint16_t(function()); };
    });
}

bool IsGermanUI() {
    TLanguageSlot uiLanguage = UserUILanguageSlot();
    return IsGermanUI(uiLanguage, [] { return uint32_t(GetUserDefaultLCID()); });
}

}  // namespace qr
