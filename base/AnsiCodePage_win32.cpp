#include <windows.h>

#include "base/win32/WideText.h"
#include "base/Text.h"

namespace qr {

UString AnsiToUnicode(std::string_view bytes) {
    if (bytes.empty()) return {};
    int n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), int(bytes.size()), nullptr, 0);
    UString out(size_t(n), u'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), int(bytes.size()), win32::WideBuffer(out), n);
    return out;
}

AnsiString UnicodeToAnsi(std::u16string_view text) {
    if (text.empty()) return {};
    auto src = win32::Wide(text);
    int n = WideCharToMultiByte(CP_ACP, 0, src, int(text.size()), nullptr, 0, nullptr, nullptr);
    AnsiString out(size_t(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, src, int(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

}  // namespace qr
