// The crash dialog's pictures as the program carries them: bitmap resources
// of exactly 16 x 16 (buttons) or 32 x 32 (icons), a 40-byte information
// header, then blue, green, red and alpha per pixel, bottom row first.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

namespace {

struct TPicture {
    const wchar_t* Name;
    int Size;
};

const TPicture kPictures[] = {{L"MEISEND", 16},   {L"MEISAVE", 16},         {L"MEIPRINT", 16},
                              {L"MEISHOW", 16},   {L"MEICONTINUE", 16},     {L"MEIRESTART", 16},
                              {L"MEICLOSE", 16},  {L"MEICANTCONTINUE", 16}, {L"MEIBIG", 32},
                              {L"MEIPLWAIT", 32}, {L"MEISEND32", 32}};

std::string Bytes(const wchar_t* name) {
    HRSRC found = FindResourceW(nullptr, name, MAKEINTRESOURCEW(2));  // RT_BITMAP
    if (!found) return {};
    HGLOBAL loaded = LoadResource(nullptr, found);
    const char* data = static_cast<const char*>(LockResource(loaded));
    return data ? std::string(data, SizeofResource(nullptr, found)) : std::string();
}

}  // namespace

TEST(DialogPictures, EveryPictureHasItsExactSizeAndLayout) {
    for (const TPicture& p : kPictures) {
        SCOPED_TRACE(std::string(p.Name, p.Name + wcslen(p.Name)));
        std::string bytes = Bytes(p.Name);
        ASSERT_EQ(bytes.size(), 40u + 4u * unsigned(p.Size * p.Size));
        BITMAPINFOHEADER info;
        std::memcpy(&info, bytes.data(), sizeof info);
        EXPECT_EQ(info.biSize, 40u);
        EXPECT_EQ(info.biWidth, p.Size);
        EXPECT_EQ(info.biHeight, p.Size) << "positive: bottom row first";
        EXPECT_EQ(info.biPlanes, 1);
        EXPECT_EQ(info.biBitCount, 32);
        EXPECT_EQ(info.biCompression, DWORD(BI_RGB));
        // Icons have a (partly) transparent surround and an opaque body:
        // the alpha channel came through.
        int seeThrough = 0, opaque = 0;
        for (size_t i = 40 + 3; i < bytes.size(); i += 4) {
            if (uint8_t(bytes[i]) < 255) ++seeThrough;
            if (uint8_t(bytes[i]) == 255) ++opaque;
        }
        EXPECT_GT(seeThrough, 0);
        EXPECT_GT(opaque, 0);
    }
}

// The big icon is the red error sign: red dominates in its opaque pixels,
// which catches swapped colour channels, and its top rows are transparent
// where a picture stored top row first would not be.
TEST(DialogPictures, ColoursAndRowOrderAreKept) {
    std::string bytes = Bytes(L"MEIBIG");
    ASSERT_EQ(bytes.size(), 40u + 4u * 32u * 32u);
    const auto* px = reinterpret_cast<const uint8_t*>(bytes.data() + 40);
    int opaque = 0, red = 0;
    for (int i = 0; i < 32 * 32; ++i) {
        const uint8_t* p = px + 4 * i;  // blue, green, red, alpha
        if (p[3] < 200) continue;
        ++opaque;
        if (p[2] > p[0] && p[2] > p[1]) ++red;
    }
    EXPECT_GT(red, opaque / 2);
    // The last stored row is the picture's top row: its corners are clear.
    EXPECT_EQ(px[4 * (31 * 32) + 3], 0);
    EXPECT_EQ(px[4 * (31 * 32 + 31) + 3], 0);
}
