// Without a locale service, names compare ignoring the case of every letter
// that windows-1252 has, which is what the Windows locales of the program's
// users do for these characters.
#include "base/Text.h"
#include "link/NativeXml.h"

namespace qr {

namespace {

char16_t FoldCase(char16_t c) {
    if (c >= u'A' && c <= u'Z') return char16_t(c + 0x20);
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return char16_t(c + 0x20);
    switch (c) {
        case 0x0160:
            return 0x0161;  // S caron
        case 0x0152:
            return 0x0153;  // OE
        case 0x017D:
            return 0x017E;  // Z caron
        case 0x0178:
            return 0x00FF;  // Y diaeresis
        default:
            return c;
    }
}

}  // namespace

bool XmlSameName(std::string_view a, std::string_view b) {
    UString wa = AnsiToUnicode(a);
    UString wb = AnsiToUnicode(b);
    if (wa.size() != wb.size()) return false;
    for (size_t i = 0; i < wa.size(); ++i)
        if (FoldCase(wa[i]) != FoldCase(wb[i])) return false;
    return true;
}

}  // namespace qr
