#pragma once
// The "disassembling" section: the function that contains the exception
// location, one instruction per line, decoded by capstone.
#include <cstdint>
#include <functional>
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
};

// Labels for the entry and for jump targets inside the function, ">" one
// blank behind the address of the marked instruction, a separator behind
// every unconditional exit; with `limit` (LimitDisAsm) > 0 only the marked
// line's neighbourhood, the rest cut to "[...]".
AnsiString FormatDisassembly(const TDisasmFunction& function, int limit, int digits);

}  // namespace qr
