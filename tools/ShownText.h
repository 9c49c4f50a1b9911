#pragma once
// A forwarded message as the monitor shows it to a person: its bytes read
// in the ANSI code page the program wrote them in, control bytes and the
// backslash spelt out (\x0C, \\) so that every byte stays visible.
#include <string_view>

#include "base/Text.h"

namespace qr {

UString ShownText(std::string_view message);

}  // namespace qr
