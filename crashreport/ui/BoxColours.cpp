#include "crashreport/ui/BoxColours.h"

#include <algorithm>

namespace qr {

TColour ButtonBackground(TColour face, bool disabled, int bitsPerPixel) {
    if (bitsPerPixel <= 14) return face;
    const int amount = disabled ? 8 : 16;
    const int brightest = std::max({RedOf(face), GreenOf(face), BlueOf(face)});
    const int shift = brightest + amount <= 255 ? amount : -amount;
    auto channel = [&](int c) { return std::clamp(c + shift, 0, 255); };
    return MakeColour(channel(RedOf(face)), channel(GreenOf(face)), channel(BlueOf(face)));
}

TColour BlendColours(TColour from, TColour to, int step, int steps) {
    auto channel = [&](int a, int b) { return a + (b - a) * step / steps; };
    return MakeColour(channel(RedOf(from), RedOf(to)), channel(GreenOf(from), GreenOf(to)),
                      channel(BlueOf(from), BlueOf(to)));
}

void BlendPicture(const uint8_t* bgra, size_t pixels, TColour background, uint8_t* bgrx) {
    const int back[3] = {BlueOf(background), GreenOf(background), RedOf(background)};
    for (size_t i = 0; i < pixels; ++i, bgra += 4, bgrx += 4) {
        const int weight = bgra[3] + 1;
        for (int c = 0; c < 3; ++c) bgrx[c] = uint8_t((bgra[c] * weight + back[c] * (256 - weight)) / 256);
        bgrx[3] = 0;
    }
}

}  // namespace qr
