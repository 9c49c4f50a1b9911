#pragma once
// A palette PNG file: signature, IHDR, PLTE, IDAT, IEND. The caller hands
// the rows already packed (without filter bytes); each row gets filter 0.
#include <cstdint>
#include <string>
#include <vector>

#include "base/Exception.h"

namespace qr {

QR_DECLARE_EXCEPTION(EPngError, Exception);

struct TPaletteEntry {
    uint8_t Red = 0, Green = 0, Blue = 0;
    bool operator==(const TPaletteEntry&) const = default;
};

struct TPalettePicture {
    int Width = 0, Height = 0;
    int BitDepth = 8;  // 8 or 4
    std::vector<TPaletteEntry> Palette;
    std::vector<uint8_t> Rows;  // Height rows of RowBytes() bytes, top row first
    size_t RowBytes() const { return (static_cast<size_t>(Width) * BitDepth + 7) / 8; }
};

// The whole file. Throws EPngError for an empty or inconsistent picture and
// when the image data cannot be compressed.
std::string EncodePng(const TPalettePicture& picture);

}  // namespace qr
