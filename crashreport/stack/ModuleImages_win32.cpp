#include <windows.h>
#include <psapi.h>

#include "base/win32/WideText.h"
#include "crashreport/stack/ModuleImages.h"

namespace qr {

std::optional<TModuleImage> LoadedModuleAt(uint64_t address) {
    HMODULE module = nullptr;
    // No reference is taken: the module is only read while the report is
    // made, and the program's own modules stay loaded until it ends.
    if (!GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCWSTR>(static_cast<uintptr_t>(address)), &module))
        return std::nullopt;
    MODULEINFO info{};
    if (!GetModuleInformation(GetCurrentProcess(), module, &info, sizeof info)) return std::nullopt;
    wchar_t path[MAX_PATH * 2];
    DWORD length = GetModuleFileNameW(module, path, DWORD(std::size(path)));
    UString file = win32::FromWide(path, length);
    size_t slash = file.find_last_of(u"\\/");
    if (slash != UString::npos) file.erase(0, slash + 1);
    TModuleImage image;
    image.Base = reinterpret_cast<uintptr_t>(info.lpBaseOfDll);
    image.Memory = static_cast<const unsigned char*>(info.lpBaseOfDll);
    image.Size = info.SizeOfImage;
    image.FileName = UnicodeToAnsi(file);
    return image;
}

}  // namespace qr
