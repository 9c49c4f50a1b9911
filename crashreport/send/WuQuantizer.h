#pragma once
// Wu's colour quantiser: a 33 x 33 x 33 histogram of the picture's colours,
// cut box by box where the variance drops most, one palette entry (the
// mean colour) per box; then each pixel's nearest entry.
#include <array>
#include <cstdint>
#include <vector>

#include "crashreport/send/PngFile.h"

namespace qr {

// Count every pixel, then make the palette once, then map the pixels.
class TWuQuantizer {
public:
    TWuQuantizer();
    // Pixels are 32-bit blue, green, red, unused (blue in the lowest byte).
    void Count(uint32_t pixel);
    // Up to `maxColours` boxes; the palette has exactly `maxColours`
    // entries, those without a box black.
    // Throws EPngError when called a second time.
    std::vector<TPaletteEntry> MakePalette(int maxColours = 256);
    // The palette entry nearest to `pixel` by the sum of the absolute
    // channel differences, the lowest index winning a tie. Remembered per
    // 15-bit key (top five bits of each channel): later pixels with the
    // same key take the same entry.
    uint8_t Nearest(uint32_t pixel);
    int BoxCount() const { return FBoxCount; }

private:
    struct TMoments {
        int64_t Weight = 0, Red = 0, Green = 0, Blue = 0, Squares = 0;
    };
    struct TBox {
        int R0, R1, G0, G1, B0, B1;  // lower bounds exclusive, upper inclusive
        int Volume() const { return (R1 - R0) * (G1 - G0) * (B1 - B0); }
    };
    static int Index(int r, int g, int b) { return (r * 33 + g) * 33 + b; }
    void Accumulate();
    TMoments Sum(const TBox& box) const;
    double Variance(const TBox& box) const;
    bool Cut(TBox& first, TBox& second) const;

    std::vector<TMoments> FCells;  // 33^3, cumulative after Accumulate()
    std::vector<TPaletteEntry> FPalette;
    std::array<int16_t, 32768> FKeyCache;
    int FBoxCount = 0;
    bool FMade = false;
};

}  // namespace qr
