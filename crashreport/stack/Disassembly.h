#pragma once
// The "disassembling" section: the function that contains the exception
// location, one instruction per line, decoded by capstone.
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "base/Text.h"

namespace qr {

struct TDisasmFunction {
    uint64_t Start = 0;                   // the address of Code[0], the function's entry
    std::vector<unsigned char> Code;      // the function's bytes
    AnsiString Name;                      // empty: labelled "sub_" + address
    uint64_t Marked = 0;                  // the exception location
    bool Is64 = true;                     // x86-64 or x86 code
    std::function<int(uint64_t)> LineOf;  // source line of an address, 0: unknown
    // Four bytes of the module's data (a case jump table); null or
    // nullopt: not readable, and no table is listed.
    std::function<std::optional<uint32_t>(uint64_t)> ReadData;
};

// Labels for the entry and for jump targets inside the function, ">" one
// blank behind the address of the marked instruction, a separator behind
// every unconditional exit; with `limit` (LimitDisAsm) > 0 only the marked
// line's neighbourhood, the rest cut to "[...]". The case jump tables of
// GCC's switch code (a bounds check, then a jump through a table of the
// function's own addresses) are listed behind their jump as "dd loc_"
// lines; a table is listed only when its bound is found and every entry
// lands inside the function.
AnsiString FormatDisassembly(const TDisasmFunction& function, int limit, int digits);

}  // namespace qr
