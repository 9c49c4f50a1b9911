#pragma once
// The name and line map that the build puts into a program: for a code
// address (relative to the module's base) its function, the function's
// source file and first line, and the line of the address. The map is read
// from the program's own memory, so a damaged map must fail cleanly.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "base/Exception.h"
#include "base/Text.h"

namespace qr {

QR_DECLARE_EXCEPTION(ENameMapError, Exception);

struct TMapName {
    uint32_t FunctionStart = 0;  // relative to the module's base
    uint32_t FunctionSize = 0;
    AnsiString Function, Unit;  // the unit is the source file's base name
    int FirstLine = 0;          // 0: unknown
    int Line = 0;               // 0: unknown
};

class TNameMap {
public:
    // The stored form (header, scrambled zlib data) as the build writes it.
    static TNameMap FromStored(const unsigned char* data, size_t size);
    // The map itself, already unpacked.
    static TNameMap FromRaw(const unsigned char* data, size_t size);

    // The function that contains `rva` and the line of `rva`.
    std::optional<TMapName> Find(uint32_t rva) const;
    size_t FunctionCount() const { return FFunctions.size(); }

private:
    struct TFunction {
        uint32_t Start, Size, Name, Unit, FirstLine, FirstLineIndex, LineCount;
    };
    struct TLine {
        uint32_t Address, Line;
    };
    std::vector<TFunction> FFunctions;
    std::vector<TLine> FLines;
    std::vector<char> FStrings;  // zero-terminated names
};

// The scrambling of the stored form; applying it twice gives the input back.
void ScrambleMap(unsigned char* data, size_t size);

}  // namespace qr
