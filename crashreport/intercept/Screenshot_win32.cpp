#include "crashreport/intercept/Screenshot_win32.h"

#include <windows.h>

#include <cstring>

#include "base/win32/Handles.h"
#include "crashreport/ui/WindowKit_win32.h"

namespace qr {

std::optional<TScreenshot> TakeScreenshot() {
    const int left = GetSystemMetrics(SM_XVIRTUALSCREEN), top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    const int width = GetSystemMetrics(SM_CXVIRTUALSCREEN), height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    if (width <= 0 || height <= 0) return std::nullopt;
    win32::TWindowDC screen(nullptr);
    if (!screen) return std::nullopt;
    win32::TMemoryDC memory(CreateCompatibleDC(screen.Get()));
    if (!memory) return std::nullopt;

    BITMAPINFO info = TopDownBitmapInfo(width, height);
    void* bits = nullptr;
    win32::TBitmap bitmap(CreateDIBSection(screen.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap || !bits) return std::nullopt;
    {
        win32::TSelectObject select(memory.Get(), bitmap.Get());
        if (!BitBlt(memory.Get(), 0, 0, width, height, screen.Get(), left, top, SRCCOPY | CAPTUREBLT))
            return std::nullopt;
        CURSORINFO cursor{};
        cursor.cbSize = sizeof cursor;
        if (GetCursorInfo(&cursor) && (cursor.flags & CURSOR_SHOWING) && cursor.hCursor) {
            ICONINFO icon{};
            int hotX = 0, hotY = 0;
            if (GetIconInfo(cursor.hCursor, &icon)) {
                hotX = static_cast<int>(icon.xHotspot);
                hotY = static_cast<int>(icon.yHotspot);
                // GetIconInfo hands over copies of the pictures.
                win32::TBitmap mask(icon.hbmMask), colour(icon.hbmColor);
            }
            DrawIconEx(memory.Get(), cursor.ptScreenPos.x - left - hotX, cursor.ptScreenPos.y - top - hotY,
                       cursor.hCursor, 0, 0, 0, nullptr, DI_NORMAL);
        }
        GdiFlush();
    }
    TScreenshot shot;
    shot.Width = width;
    shot.Height = height;
    shot.Pixels.resize(static_cast<size_t>(width) * height);
    std::memcpy(shot.Pixels.data(), bits, shot.Pixels.size() * sizeof(uint32_t));
    return shot;
}

}  // namespace qr
