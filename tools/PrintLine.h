#pragma once
// One line of text on standard output, in the encoding its reader expects:
// the console's on Windows, UTF-8 elsewhere.
#include <string_view>

namespace qr {

void PrintLine(std::u16string_view line);

}  // namespace qr
