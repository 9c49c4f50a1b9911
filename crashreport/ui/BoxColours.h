#pragma once
// Colours of the crash dialog's flat buttons and the blending of its
// pictures. Colours are 0x00BBGGRR like the system's colour values.
#include <cstddef>
#include <cstdint>

namespace qr {

using TColour = uint32_t;

constexpr TColour MakeColour(int red, int green, int blue) {
    return TColour(red) | (TColour(green) << 8) | (TColour(blue) << 16);
}
constexpr int RedOf(TColour c) { return int(c & 0xFF); }
constexpr int GreenOf(TColour c) { return int((c >> 8) & 0xFF); }
constexpr int BlueOf(TColour c) { return int((c >> 16) & 0xFF); }

// The background of a button without focus: the button face shifted by 16
// per channel (8 when disabled), lighter when every channel has room for
// it, else darker. Displays of 14 bits per pixel or fewer keep the face,
// since such a small shift would dither.
TColour ButtonBackground(TColour face, bool disabled, int bitsPerPixel);

// Step `step` of `steps` on the way from one colour to another.
TColour BlendColours(TColour from, TColour to, int step, int steps);

// Blends a picture's pixels (blue, green, red, alpha) onto the background
// with weight alpha + 1 of 256; writes blue, green, red, 0 for a 32-bit
// device-independent bitmap.
void BlendPicture(const uint8_t* bgra, size_t pixels, TColour background, uint8_t* bgrx);

}  // namespace qr
