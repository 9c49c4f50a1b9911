#pragma once
// Whether a code address lies directly behind a call instruction: the test
// that makes a stack value a candidate return address.
#include <cstddef>

namespace qr {

// `code` points at the candidate address; `before` bytes in front of it can
// be read. Knows the forms GCC and system code use: call rel32 and the
// indirect calls through a register or memory (with or without a REX
// prefix, with 8- or 32-bit displacement, SIB or RIP-relative).
bool IsBehindCall(const unsigned char* code, size_t before);

}  // namespace qr
