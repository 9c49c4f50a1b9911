#pragma once
// A failure's screenshot: 32-bit pixels (blue, green, red, unused), top
// row first. Taken once when the failure is handled; the dialogs and the
// mail use it later.
#include <cstdint>
#include <vector>

namespace qr {

struct TScreenshot {
    int Width = 0, Height = 0;
    std::vector<uint32_t> Pixels;  // Width * Height
    bool Empty() const { return Width <= 0 || Height <= 0; }
};

}  // namespace qr
