#include "crashreport/settings/KernelObjectNames.h"

namespace qr {

UString ProcessObjectName(std::u16string_view baseName, uint32_t processId) {
    UString digits;
    do {
        digits.insert(digits.begin(), u"0123456789abcdef"[processId % 16]);
        processId /= 16;
    } while (processId != 0);
    return UString(baseName) + u'$' + digits;
}

}  // namespace qr
