#include "crashreport/send/ScreenshotPng.h"

#include <cstdlib>
#include <new>

#include "crashreport/send/WuQuantizer.h"

namespace qr {

namespace {

constexpr uint8_t kGreyLevels[16] = {0,   28,  52,  73,  92,  109, 125, 140,
                                     155, 170, 185, 199, 213, 227, 241, 255};

void CheckShot(const TScreenshot& shot) {
    if (shot.Empty() || shot.Pixels.size() != static_cast<size_t>(shot.Width) * shot.Height)
        throw EPngError("The screenshot is empty.");
}

uint8_t GreyIndex(uint32_t pixel) {
    const int r = (pixel >> 16) & 0xFF, g = (pixel >> 8) & 0xFF, b = pixel & 0xFF;
    const int grey = (r * 77 + g * 151 + b * 28) >> 8;
    int best = 0;
    for (int i = 1; i < 16; ++i)
        if (std::abs(kGreyLevels[i] - grey) < std::abs(kGreyLevels[best] - grey)) best = i;
    return static_cast<uint8_t>(best);
}

bool IsSizeLimit(int depth) {
    return depth == 51200 || depth == 102400 || depth == 204800 || depth == 307200;
}

}  // namespace

TPalettePicture ColourPicture(const TScreenshot& shot) {
    CheckShot(shot);
    TWuQuantizer quantizer;
    for (uint32_t p : shot.Pixels) quantizer.Count(p);
    TPalettePicture picture;
    picture.Width = shot.Width;
    picture.Height = shot.Height;
    picture.BitDepth = 8;
    picture.Palette = quantizer.MakePalette(256);
    picture.Rows.resize(shot.Pixels.size());
    for (size_t i = 0; i < shot.Pixels.size(); ++i) picture.Rows[i] = quantizer.Nearest(shot.Pixels[i]);
    return picture;
}

TPalettePicture GreyPicture(const TScreenshot& shot) {
    CheckShot(shot);
    TPalettePicture picture;
    picture.Width = shot.Width;
    picture.Height = shot.Height;
    picture.BitDepth = 4;
    for (uint8_t level : kGreyLevels) picture.Palette.push_back(TPaletteEntry{level, level, level});
    const size_t rowBytes = picture.RowBytes();
    picture.Rows.assign(rowBytes * shot.Height, 0);
    for (int y = 0; y < shot.Height; ++y)
        for (int x = 0; x < shot.Width; ++x) {
            const uint8_t index = GreyIndex(shot.Pixels[static_cast<size_t>(y) * shot.Width + x]);
            picture.Rows[y * rowBytes + x / 2] |= (x % 2 == 0) ? index << 4 : index;
        }
    return picture;
}

std::string ScreenshotPng(const TScreenshot& shot, int scrShotDepth) {
    if (scrShotDepth == 4) return EncodePng(GreyPicture(shot));
    std::string colour;
    try {
        colour = EncodePng(ColourPicture(shot));
    } catch (const EPngError&) {
        return EncodePng(GreyPicture(shot));
    } catch (const std::bad_alloc&) {
        return EncodePng(GreyPicture(shot));
    }
    if (IsSizeLimit(scrShotDepth) && colour.size() > static_cast<size_t>(scrShotDepth)) {
        std::string grey = EncodePng(GreyPicture(shot));
        if (grey.size() < colour.size()) return grey;
    }
    return colour;
}

}  // namespace qr
