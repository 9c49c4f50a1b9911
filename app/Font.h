#pragma once
// A window's font as its stored description and the translation pass see
// it: face name, character height in pixels at 96 DPI, character set.
#include "base/Component.h"

namespace qr {

class TFont : public TPersistent {
public:
    const char* ClassName() const override { return "TFont"; }
    UString Name = u"MS Shell Dlg 2";
    int Height = 11;
    int Charset = 1;  // DEFAULT_CHARSET
};

} // namespace qr
