#pragma once
// A module as the loader laid it out in memory (addresses relative to its
// base are offsets into it): its sections and its export table. Every read
// is checked against the image's size, since the headers may be damaged.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "base/Text.h"

namespace qr {

struct TImageSection {
    uint32_t Address = 0;  // relative to the base
    uint32_t Size = 0;
    bool Executable = false;
};

class TPeImage {
public:
    TPeImage(const unsigned char* base, size_t size) : FBase(base), FSize(size), FImageSize(size) {
        ReadHeaders();
    }
    // The headers alone (a copy of the first `size` bytes of an image of
    // `imageSize` bytes): its sections are known, its exports are not.
    TPeImage(const unsigned char* headers, size_t size, size_t imageSize)
        : FBase(headers), FSize(size), FImageSize(imageSize) {
        ReadHeaders();
    }

    bool Valid() const { return FValid; }
    std::vector<TImageSection> Sections() const;
    std::optional<TImageSection> Section(std::string_view name) const;
    // Exported functions, sorted by address.
    std::vector<std::pair<uint32_t, AnsiString>> Exports() const;

private:
    void ReadHeaders();
    bool Has(uint64_t offset, uint64_t length) const { return offset <= FSize && length <= FSize - offset; }
    bool InImage(uint64_t offset, uint64_t length) const {
        return offset <= FImageSize && length <= FImageSize - offset;
    }
    uint32_t U16(uint64_t offset) const;
    uint32_t U32(uint64_t offset) const;

    const unsigned char* FBase;
    size_t FSize;
    size_t FImageSize;
    bool FValid = false;
    uint64_t FSectionTable = 0;
    uint32_t FSectionCount = 0;
    uint32_t FExportAddress = 0, FExportSize = 0;
};

}  // namespace qr
