// Attribute names compare as the user's locale compares text, ignoring case.
#include <windows.h>

#include "base/win32/WideText.h"
#include "base/Text.h"
#include "link/NativeXml.h"

namespace qr {

bool XmlSameName(std::string_view a, std::string_view b) {
    UString wa = AnsiToUnicode(a);
    UString wb = AnsiToUnicode(b);
    return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, win32::Wide(wa), int(wa.size()),
                          win32::Wide(wb), int(wb.size())) == CSTR_EQUAL;
}

}  // namespace qr
