#include "crashreport/stack/NameMap.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace qr {

namespace {

// The same seed and steps as make_name_map.py, which writes the map.
constexpr uint32_t kScrambleSeed = 0x5172D3A9;
// No program of ours comes near this; a larger size is a damaged header.
constexpr uint32_t kMaxRawSize = 64u << 20;

uint32_t ReadU32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

}  // namespace

void ScrambleMap(unsigned char* data, size_t size) {
    uint32_t state = kScrambleSeed;
    for (size_t i = 0; i < size; ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        data[i] ^= static_cast<unsigned char>(state);
    }
}

TNameMap TNameMap::FromStored(const unsigned char* data, size_t size) {
    if (size < 8 || std::memcmp(data, "QRM1", 4) != 0)
        throw ENameMapError("The name map has no valid header.");
    uint32_t rawSize = ReadU32(data + 4);
    if (rawSize > kMaxRawSize) throw ENameMapError("The name map is too large.");
    std::vector<unsigned char> packed(data + 8, data + size);
    ScrambleMap(packed.data(), packed.size());
    std::vector<unsigned char> raw(rawSize);
    uLongf rawLength = rawSize;
    if (uncompress(raw.data(), &rawLength, packed.data(), uLong(packed.size())) != Z_OK ||
        rawLength != rawSize)
        throw ENameMapError("The name map cannot be unpacked.");
    return FromRaw(raw.data(), raw.size());
}

TNameMap TNameMap::FromRaw(const unsigned char* data, size_t size) {
    if (size < 16 || std::memcmp(data, "QRNM", 4) != 0)
        throw ENameMapError("The name map has no valid header.");
    uint64_t functions = ReadU32(data + 4), lines = ReadU32(data + 8), strings = ReadU32(data + 12);
    if (16 + functions * 28 + lines * 8 + strings != size)
        throw ENameMapError("The name map has a wrong size.");
    TNameMap map;
    const unsigned char* p = data + 16;
    map.FFunctions.resize(functions);
    for (TFunction& f : map.FFunctions) {
        uint32_t* fields[] = {&f.Start,     &f.Size,           &f.Name,     &f.Unit,
                              &f.FirstLine, &f.FirstLineIndex, &f.LineCount};
        for (uint32_t* field : fields) {
            *field = ReadU32(p);
            p += 4;
        }
    }
    map.FLines.resize(lines);
    for (TLine& l : map.FLines) {
        l.Address = ReadU32(p);
        l.Line = ReadU32(p + 4);
        p += 8;
    }
    map.FStrings.assign(p, p + strings);
    if (strings && map.FStrings.back() != 0) throw ENameMapError("The name map's names are not terminated.");
    uint32_t previousEnd = 0;
    for (const TFunction& f : map.FFunctions) {
        if (f.Start < previousEnd || uint64_t(f.Start) + f.Size > UINT32_MAX || f.Name >= strings ||
            f.Unit >= strings || uint64_t(f.FirstLineIndex) + f.LineCount > lines)
            throw ENameMapError("The name map has a damaged function entry.");
        previousEnd = f.Start + f.Size;
        for (uint32_t i = 1; i < f.LineCount; ++i)
            if (map.FLines[f.FirstLineIndex + i].Address < map.FLines[f.FirstLineIndex + i - 1].Address)
                throw ENameMapError("The name map has a damaged line table.");
    }
    return map;
}

std::optional<TMapName> TNameMap::Find(uint32_t rva) const {
    auto next = std::upper_bound(FFunctions.begin(), FFunctions.end(), rva,
                                 [](uint32_t a, const TFunction& f) { return a < f.Start; });
    if (next == FFunctions.begin()) return std::nullopt;
    const TFunction& f = *std::prev(next);
    if (rva - f.Start >= f.Size) return std::nullopt;
    TMapName name;
    name.FunctionStart = f.Start;
    name.FunctionSize = f.Size;
    name.Function = &FStrings[f.Name];
    name.Unit = &FStrings[f.Unit];
    name.FirstLine = int(std::min<uint32_t>(f.FirstLine, INT32_MAX));
    auto first = FLines.begin() + f.FirstLineIndex, last = first + f.LineCount;
    auto line = std::upper_bound(first, last, rva, [](uint32_t a, const TLine& l) { return a < l.Address; });
    if (line != first) name.Line = int(std::min<uint32_t>(std::prev(line)->Line, INT32_MAX));
    return name;
}

}  // namespace qr
