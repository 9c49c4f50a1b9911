#include <windows.h>

#include <cstdio>
#include <string>

#include "base/Text.h"
#include "base/win32/WideText.h"
#include "tools/PrintLine.h"

namespace qr {

void PrintLine(std::u16string_view line) {
    // A line feed alone: the console starts a new line at it, and the C
    // runtime's text mode writes CR LF into a redirected stream.
    const std::u16string text = std::u16string(line) + u"\n";
    std::fflush(stdout);
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (GetConsoleMode(out, &mode)) {
        // A console shows UTF-16 as it is, whatever its code page.
        DWORD written = 0;
        WriteConsoleW(out, win32::Wide(text), DWORD(text.size()), &written, nullptr);
        return;
    }
    // Redirected: bytes in the console's code page, as Windows programs
    // write them; UTF-8 when there is no console at all.
    UINT codePage = GetConsoleOutputCP();
    if (codePage == 0) codePage = CP_UTF8;
    const int n =
        WideCharToMultiByte(codePage, 0, win32::Wide(text), int(text.size()), nullptr, 0, nullptr, nullptr);
    if (n <= 0) return;
    std::string bytes(size_t(n), '\0');
    WideCharToMultiByte(codePage, 0, win32::Wide(text), int(text.size()), bytes.data(), n, nullptr, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fflush(stdout);
}

}  // namespace qr
