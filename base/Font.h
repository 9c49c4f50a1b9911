#pragma once
// A window's font as its stored description and the translation pass see
// it: face name, height at 96 DPI (negative: character height in pixels,
// as Windows' LOGFONT reads it), character set.
#include <optional>

#include "base/Component.h"

namespace qr {

class TFont : public TPersistent {
public:
    const char* ClassName() const override { return "TFont"; }
    UString Name = u"MS Shell Dlg 2";
    int Height = -11;
    int Charset = 1;  // DEFAULT_CHARSET
};

// The 19 character-set names and their values; nothing for other names.
std::optional<int> CharsetValue(std::u16string_view name, bool ignoreCase);
UString CharsetName(int value);

}  // namespace qr
