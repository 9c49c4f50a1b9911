#include "tools/ShownText.h"

#include <cstdio>

namespace qr {

UString ShownText(std::string_view message) {
    UString out;
    out.reserve(message.size());
    // Control bytes are the same in every code page: spell them out before
    // the conversion, so the rest converts as one text.
    size_t start = 0;
    auto flush = [&](size_t end) {
        if (end > start) out += AnsiToUnicode(message.substr(start, end - start));
    };
    for (size_t i = 0; i < message.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(message[i]);
        if (c >= 0x20 && c != 0x7F && c != '\\') continue;
        flush(i);
        start = i + 1;
        if (c == '\\') {
            out += u"\\\\";
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            for (const char* p = hex; *p; ++p) out += char16_t(*p);
        }
    }
    flush(message.size());
    return out;
}

}  // namespace qr
