#include "base/Text.h"

namespace qr {
namespace {

// 0x80..0x9F of windows-1252; the five bytes the code page leaves undefined
// map to the control character of the same value, as Windows does.
constexpr char16_t kHigh[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char EncodeOne(char16_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
    for (int i = 0; i < 32; ++i)
        if (kHigh[i] == c) return static_cast<char>(0x80 + i);
    return '?';
}

}  // namespace

UString Cp1252ToUnicode(std::string_view bytes) {
    UString out;
    out.reserve(bytes.size());
    for (unsigned char b : bytes) out.push_back(b >= 0x80 && b < 0xA0 ? kHigh[b - 0x80] : char16_t(b));
    return out;
}

AnsiString UnicodeToCp1252(std::u16string_view text) {
    AnsiString out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        // A surrogate pair is one character and becomes one replacement.
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF)
            ++i;
        out.push_back(EncodeOne(c));
    }
    return out;
}

}  // namespace qr
