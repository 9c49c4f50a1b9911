#pragma once
// Call-stack checksums: one 32-bit value per stack item, two per stack and
// the three of the "callstack crc" header item.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "base/Text.h"

namespace qr {

// One CRC-32 table step (reflected polynomial 0xEDB88320) over `data`,
// seeded with `crc`, without the usual inversions.
uint32_t Crc32Update(uint32_t crc, const void* data, size_t size);

// What a checksum needs of one stack item.
struct TStackItemName {
    uint64_t Address = 0;
    uint64_t FunctionStart = 0;  // 0: not known
    AnsiString Module, Unit, Function;
    int Line = 0;  // 0: no line number
};

// The offset within the function, updated with the lower-case module, unit
// and function names; the address itself (modulo 2^32) when the function is
// not known.
uint32_t StackItemValue(const TStackItemName& item);

struct TStackChecksums {
    uint32_t First = 0;    // the innermost item's value
    uint32_t Running = 0;  // updated with each further item's value
    bool HasLine = false;  // an item has a line number
};
// Innermost item first.
TStackChecksums StackChecksums(const std::vector<TStackItemName>& stack);

// "$xxxxxxxx, $xxxxxxxx, $xxxxxxxx": the failing thread's two values, then
// its running value updated with the running values of the other listed
// threads that have an item with a line number.
AnsiString CallstackCrcText(const TStackChecksums& failing, const std::vector<TStackChecksums>& others);

}  // namespace qr
