// Attribute names compare as the user's locale compares text, ignoring case.
#include <windows.h>

#include "base/Text.h"
#include "link/NativeXml.h"

namespace qr {

bool XmlSameName(std::string_view a, std::string_view b) {
    UString wa = AnsiToUnicode(a);
    UString wb = AnsiToUnicode(b);
    return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, reinterpret_cast<const wchar_t*>(wa.data()),
                          int(wa.size()), reinterpret_cast<const wchar_t*>(wb.data()),
                          int(wb.size())) == CSTR_EQUAL;
}

}  // namespace qr
