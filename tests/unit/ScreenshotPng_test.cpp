// The screenshot PNG: read back by an independent decoder where one is
// available, and the quantiser's palette and choices.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>

#include "crashreport/send/ScreenshotPng.h"
#include "crashreport/send/WuQuantizer.h"

namespace qr {
namespace {

uint32_t Rgb(int r, int g, int b) { return uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b); }

TScreenshot Shot(int w, int h, std::vector<uint32_t> pixels) {
    TScreenshot s;
    s.Width = w;
    s.Height = h;
    s.Pixels = std::move(pixels);
    return s;
}

// `count` colours in distinct histogram cells, repeated over the picture.
TScreenshot DistinctColours(int count, int w, int h) {
    std::vector<uint32_t> colours;
    for (int k = 0; k < count; ++k) {
        const int i = (k * 7919) % 32768;  // odd step: every cell once
        colours.push_back(Rgb((i >> 10) * 8 + 3, ((i >> 5) & 31) * 8 + 5, (i & 31) * 8 + 1));
    }
    std::vector<uint32_t> pixels(static_cast<size_t>(w) * h);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = colours[(i * 7) % colours.size()];
    return Shot(w, h, pixels);
}

#ifdef QR_PNG_DECODER
#include <unistd.h>

// Red, green, blue per pixel as the decoder reads the file.
std::vector<uint8_t> Decode(const std::string& png) {
    const auto dir = std::filesystem::temp_directory_path();
    const auto in =
        dir / ("qr_png_" + std::to_string(::getpid()) + "_" + std::to_string(std::rand()) + ".png");
    const auto out = in.string() + ".rgb";
    std::ofstream(in, std::ios::binary).write(png.data(), png.size());
    const std::string command = std::string(QR_PNG_DECODER) + " " + in.string() + " " + out;
    const int rc = std::system(command.c_str());
    std::ifstream f(out, std::ios::binary);
    std::vector<uint8_t> rgb((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    std::filesystem::remove(in);
    std::filesystem::remove(out);
    EXPECT_EQ(rc, 0) << command;
    return rgb;
}
#endif

TEST(ScreenshotPng, GreyDecodesToTheNearestLevelOfEveryPixel) {
#ifndef QR_PNG_DECODER
    GTEST_SKIP() << "no PNG decoder in this build";
#else
    static const int levels[16] = {0, 28, 52, 73, 92, 109, 125, 140, 155, 170, 185, 199, 213, 227, 241, 255};
    std::mt19937 random(7);
    for (int width : {1, 7, 8, 33}) {
        std::vector<uint32_t> pixels(width * 5);
        for (uint32_t& p : pixels) p = random() & 0xFFFFFF;
        pixels[0] = Rgb(255, 255, 255);
        const TScreenshot shot = Shot(width, 5, pixels);
        const std::vector<uint8_t> rgb = Decode(ScreenshotPng(shot, 4));
        ASSERT_EQ(rgb.size(), pixels.size() * 3) << width;
        for (size_t i = 0; i < pixels.size(); ++i) {
            const uint32_t p = pixels[i];
            const int grey = (((p >> 16) & 255) * 77 + ((p >> 8) & 255) * 151 + (p & 255) * 28) >> 8;
            int want = levels[0];
            for (int l : levels)
                if (std::abs(l - grey) < std::abs(want - grey)) want = l;
            ASSERT_EQ(rgb[i * 3], want) << "width " << width << " pixel " << i;
            ASSERT_EQ(rgb[i * 3 + 1], want);
            ASSERT_EQ(rgb[i * 3 + 2], want);
        }
    }
#endif
}

TEST(ScreenshotPng, ColourDecodesExactlyUpTo256ColoursAndToThePaletteBeyond) {
#ifndef QR_PNG_DECODER
    GTEST_SKIP() << "no PNG decoder in this build";
#else
    for (int count : {1, 255, 256}) {
        const TScreenshot shot = DistinctColours(count, 61, 40);
        const std::vector<uint8_t> rgb = Decode(ScreenshotPng(shot, 8));
        ASSERT_EQ(rgb.size(), shot.Pixels.size() * 3);
        for (size_t i = 0; i < shot.Pixels.size(); ++i)
            ASSERT_EQ(Rgb(rgb[i * 3], rgb[i * 3 + 1], rgb[i * 3 + 2]), shot.Pixels[i])
                << count << " colours, " << i;
    }
    const TScreenshot many = DistinctColours(4000, 97, 83);
    const TPalettePicture picture = ColourPicture(many);
    const std::vector<uint8_t> rgb = Decode(EncodePng(picture));
    ASSERT_EQ(rgb.size(), many.Pixels.size() * 3);
    for (size_t i = 0; i < many.Pixels.size(); ++i) {
        const TPaletteEntry& e = picture.Palette[picture.Rows[i]];
        ASSERT_EQ(Rgb(rgb[i * 3], rgb[i * 3 + 1], rgb[i * 3 + 2]), Rgb(e.Red, e.Green, e.Blue)) << i;
    }
#endif
}

TEST(ScreenshotPng, FileLayoutAndDepthChoice) {
    std::mt19937 random(3);
    std::vector<uint32_t> noise(256 * 256);
    for (uint32_t& p : noise) p = random() & 0xFFFFFF;
    const TScreenshot shot = Shot(256, 256, noise);
    auto depthOf = [](const std::string& png) { return static_cast<int>(png.at(24)); };

    const std::string colour = ScreenshotPng(shot, 8);
    EXPECT_EQ(colour.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    EXPECT_EQ(colour.substr(12, 4), "IHDR");
    EXPECT_EQ(colour.substr(37, 4), "PLTE");
    EXPECT_EQ(colour.substr(41 + 768 + 4 + 4, 4), "IDAT");
    EXPECT_EQ(colour.substr(41 + 768 + 4 + 8, 2), std::string("\x78\x01", 2));
    EXPECT_EQ(colour.substr(colour.size() - 12), std::string("\0\0\0\0IEND\xae\x42\x60\x82", 12));
    EXPECT_EQ(depthOf(colour), 8);
    EXPECT_GT(colour.size(), 51200u);  // noise does not compress

    EXPECT_EQ(depthOf(ScreenshotPng(shot, 4)), 4);
    EXPECT_EQ(depthOf(ScreenshotPng(shot, 51200)), 4);   // over the limit, grey is smaller
    EXPECT_EQ(depthOf(ScreenshotPng(shot, 307200)), 8);  // under the limit
    EXPECT_EQ(depthOf(ScreenshotPng(shot, 60000)), 8);   // not a limit value
    EXPECT_EQ(ScreenshotPng(shot, 307200), colour);

    EXPECT_THROW(ScreenshotPng(TScreenshot{}, 8), EPngError);
    EXPECT_THROW(ScreenshotPng(Shot(3, 3, {1, 2}), 4), EPngError);
}

// Box counts and exact palettes for pictures whose colours lie in distinct
// histogram cells.
TEST(WuQuantizer, OneBoxPerColourUpTo256) {
    for (int count : {1, 255, 256}) {
        const TScreenshot shot = DistinctColours(count, 64, 64);
        const TPalettePicture picture = ColourPicture(shot);
        ASSERT_EQ(picture.Palette.size(), 256u);
        std::set<uint32_t> used;
        for (size_t i = 0; i < shot.Pixels.size(); ++i) {
            const TPaletteEntry& e = picture.Palette[picture.Rows[i]];
            ASSERT_EQ(Rgb(e.Red, e.Green, e.Blue), shot.Pixels[i]) << count << " colours, pixel " << i;
            used.insert(picture.Rows[i]);
        }
        EXPECT_EQ(used.size(), static_cast<size_t>(count));
        TWuQuantizer q;
        for (uint32_t p : shot.Pixels) q.Count(p);
        q.MakePalette();
        EXPECT_EQ(q.BoxCount(), count);
    }
}

TEST(WuQuantizer, ManyColoursGet256CloseEntries) {
    const TScreenshot shot = DistinctColours(5000, 120, 100);
    TWuQuantizer q;
    for (uint32_t p : shot.Pixels) q.Count(p);
    const std::vector<TPaletteEntry> palette = q.MakePalette();
    EXPECT_EQ(q.BoxCount(), 256);
    std::set<uint32_t> distinct;
    for (const TPaletteEntry& e : palette) distinct.insert(Rgb(e.Red, e.Green, e.Blue));
    EXPECT_GT(distinct.size(), 250u);
    long total = 0;
    for (uint32_t p : shot.Pixels) {
        const TPaletteEntry& e = palette[q.Nearest(p)];
        total += std::abs(e.Red - int(p >> 16 & 255)) + std::abs(e.Green - int(p >> 8 & 255)) +
                 std::abs(e.Blue - int(p & 255));
    }
    // 256 boxes over a cube of 256^3 evenly filled: about 40 per channel apart.
    EXPECT_LT(total / static_cast<long>(shot.Pixels.size()), 60);
}

TEST(WuQuantizer, NearestByAbsoluteDifferencesLowestIndexAndKeyCache) {
    auto quantizer = [] {
        TWuQuantizer q;
        q.Count(Rgb(0, 0, 0));
        q.Count(Rgb(16, 16, 16));
        return q;
    };
    TWuQuantizer q = quantizer();
    const std::vector<TPaletteEntry> palette = q.MakePalette();
    ASSERT_EQ(q.BoxCount(), 2);
    int black = -1, grey = -1;
    for (int i = 0; i < 2; ++i) (palette[i].Red == 0 ? black : grey) = i;
    ASSERT_GE(black, 0);
    ASSERT_GE(grey, 0);
    EXPECT_EQ(palette[grey], (TPaletteEntry{16, 16, 16}));
    // Equally far (sum 24) from both: the lower index.
    EXPECT_EQ(q.Nearest(Rgb(8, 8, 8)), std::min(black, grey));
    EXPECT_EQ(q.Nearest(Rgb(14, 16, 15)), grey);

    // (7,15,7) and (0,8,0) share a key: whichever comes first decides the
    // entry for both, though a search alone would part them.
    TWuQuantizer fresh = quantizer();
    fresh.MakePalette();
    EXPECT_EQ(fresh.Nearest(Rgb(7, 15, 7)), grey);
    EXPECT_EQ(fresh.Nearest(Rgb(0, 8, 0)), grey);  // same key, remembered
    TWuQuantizer other = quantizer();
    other.MakePalette();
    EXPECT_EQ(other.Nearest(Rgb(0, 8, 0)), black);  // searched: 8 against 40
}

}  // namespace
}  // namespace qr
