#pragma once
// The crash dialog's pictures: bitmap resources of a 40-byte information
// header and the square picture's pixels (blue, green, red, alpha), bottom
// row first, drawn blended onto the colour behind them.
#include <windows.h>

#include <cstdint>
#include <vector>

#include "crashreport/ui/BoxColours.h"

namespace qr {

class TBoxPicture {
public:
    TBoxPicture() = default;
    // The resource `name` of `module` (null: the program file); stays empty
    // unless the resource is a picture of exactly size x size pixels.
    TBoxPicture(HMODULE module, const wchar_t* name, int size);

    explicit operator bool() const { return !FPixels.empty(); }
    int Size() const { return FSize; }
    // Draws the picture with its top left corner at (x, y).
    void Draw(HDC dc, int x, int y, TColour background) const;

private:
    int FSize = 0;
    std::vector<uint8_t> FPixels;
};

}  // namespace qr
