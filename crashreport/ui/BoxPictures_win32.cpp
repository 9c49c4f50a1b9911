#include "crashreport/ui/BoxPictures_win32.h"

namespace qr {

namespace {
constexpr DWORD kHeaderSize = 40;
}

TBoxPicture::TBoxPicture(HMODULE module, const wchar_t* name, int size) {
    if (!module) module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, name, MAKEINTRESOURCEW(2));  // RT_BITMAP
    if (!found) return;
    const DWORD pixelBytes = DWORD(4 * size * size);
    if (SizeofResource(module, found) != kHeaderSize + pixelBytes) return;
    // Resources stay mapped as long as their module: nothing to free.
    const auto* data = static_cast<const uint8_t*>(LockResource(LoadResource(module, found)));
    if (!data) return;
    FSize = size;
    FPixels.assign(data + kHeaderSize, data + kHeaderSize + pixelBytes);
}

void TBoxPicture::Draw(HDC dc, int x, int y, TColour background) const {
    if (FPixels.empty()) return;
    std::vector<uint8_t> blended(FPixels.size());
    BlendPicture(FPixels.data(), FPixels.size() / 4, background, blended.data());
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = FSize;
    info.bmiHeader.biHeight = FSize;  // bottom row first, as stored
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    SetDIBitsToDevice(dc, x, y, DWORD(FSize), DWORD(FSize), 0, 0, 0, UINT(FSize), blended.data(), &info,
                      DIB_RGB_COLORS);
}

}  // namespace qr
