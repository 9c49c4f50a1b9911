#include "crashreport/intercept/TempFolder_win32.h"

#include <windows.h>

#include "crashreport/system/ModuleFiles_win32.h"

namespace qr {

std::wstring CrashTempFolder() {
    wchar_t temp[MAX_PATH + 1] = {};
    DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    if (length == 0 || length > MAX_PATH) return {};
    std::wstring program = ModuleFileName(nullptr);
    size_t slash = program.find_last_of(L"\\/");
    std::wstring name = slash == std::wstring::npos ? program : program.substr(slash + 1);
    size_t dot = name.find_last_of(L'.');
    if (dot != std::wstring::npos) name.erase(dot);
    std::wstring folder(temp, length);
    if (folder.back() != L'\\') folder += L'\\';
    return folder + name + L".Tobrisk\\";
}

void CleanCrashTempFolder(bool folderToo) {
    std::wstring folder = CrashTempFolder();
    if (folder.empty()) return;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                std::wstring file = folder + found.cFileName;
                SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(file.c_str());
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    if (folderToo) RemoveDirectoryW(folder.c_str());
}

}  // namespace qr
