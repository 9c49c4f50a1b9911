// A stand-in for the default mail program: writes the command line it was
// started with (UTF-8) into "mailer-command.txt" beside itself and ends.
#include <windows.h>

#include <string>

#include "base/win32/Handles.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    folder = folder.substr(0, folder.find_last_of(L'\\') + 1);
    const wchar_t* line = GetCommandLineW();
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, line, -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(bytes > 0 ? bytes - 1 : 0, '\0');
    if (bytes > 1) WideCharToMultiByte(CP_UTF8, 0, line, -1, utf8.data(), bytes, nullptr, nullptr);
    const std::wstring part = folder + L"mailer-command.txt.part";
    {
        qr::win32::TFileHandle file(
            CreateFileW(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        if (!file) return 1;
        DWORD written = 0;
        WriteFile(file.Get(), utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
    }
    MoveFileExW(part.c_str(), (folder + L"mailer-command.txt").c_str(), MOVEFILE_REPLACE_EXISTING);
    return 0;
}
