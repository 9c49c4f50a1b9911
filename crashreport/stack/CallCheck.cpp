#include "crashreport/stack/CallCheck.h"

#include <initializer_list>

namespace qr {

namespace {

// The length of an FF /2 (indirect call) instruction with this ModRM byte
// and the byte behind it (the SIB byte, when there is one); 0 when it is not
// such a call.
size_t IndirectCallLength(unsigned char modrm, unsigned char sib) {
    if (((modrm >> 3) & 7) != 2) return 0;
    unsigned mod = modrm >> 6, rm = modrm & 7;
    size_t length = 2 + (mod != 3 && rm == 4 ? 1 : 0);
    if (mod == 0 && rm == 5) return length + 4;  // RIP-relative (disp32 on x86)
    if (mod == 0 && rm == 4 && (sib & 7) == 5) return length + 4;
    if (mod == 1) return length + 1;
    if (mod == 2) return length + 4;
    return length;
}

}  // namespace

bool IsBehindCall(const unsigned char* code, size_t before) {
    if (before >= 5 && code[-5] == 0xE8) return true;
    for (size_t length : {2, 3, 4, 6, 7}) {
        if (before < length) continue;
        const unsigned char* start = code - length;
        if (start[0] == 0xFF && IndirectCallLength(start[1], length > 2 ? start[2] : 0) == length)
            return true;
        // A REX prefix in front (41 FF D0: call r8).
        if (length >= 3 && (start[0] & 0xF0) == 0x40 && start[1] == 0xFF &&
            IndirectCallLength(start[2], length > 3 ? start[3] : 0) == length - 1)
            return true;
    }
    return false;
}

}  // namespace qr
