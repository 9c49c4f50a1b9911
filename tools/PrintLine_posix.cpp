#include <cstdio>

#include "base/Text.h"
#include "tools/PrintLine.h"

namespace qr {

void PrintLine(std::u16string_view line) {
    const std::string bytes = UnicodeToUtf8(line) + "\n";
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fflush(stdout);
}

}  // namespace qr
