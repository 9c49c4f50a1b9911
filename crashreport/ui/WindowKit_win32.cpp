#include "crashreport/ui/WindowKit_win32.h"

#include <cstring>

#include "base/win32/WideText.h"

namespace qr {

namespace {

// The clipboard, open for the owner's lifetime.
class TOpenClipboard {
public:
    // Another program may hold the clipboard for a moment: a few tries,
    // 10 ms apart, before the copy is given up.
    explicit TOpenClipboard(HWND owner) {
        for (int i = 0; i < 10 && !(FOpen = OpenClipboard(owner) != FALSE); ++i) Sleep(10);
    }
    ~TOpenClipboard() {
        if (FOpen) CloseClipboard();
    }
    TOpenClipboard(const TOpenClipboard&) = delete;
    TOpenClipboard& operator=(const TOpenClipboard&) = delete;
    explicit operator bool() const { return FOpen; }

private:
    bool FOpen = false;
};

}  // namespace

HINSTANCE OwnModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&OwnModule), &module);
    return module;
}

win32::TFontHandle CreateNamedFont(const wchar_t* face, int height, bool bold) {
    return win32::TFontHandle(CreateFontW(-height, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                                          DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                          DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face));
}

win32::TFontHandle CreateDialogFont(int height, int fallbackHeight) {
    // GDI silently substitutes another face for a missing one, which the
    // face name it reports back shows.
    win32::TFontHandle font = CreateNamedFont(L"Tahoma", height);
    wchar_t face[LF_FACESIZE] = {};
    win32::TMemoryDC dc(CreateCompatibleDC(nullptr));
    if (font && dc) {
        win32::TSelectObject select(dc.Get(), font.Get());
        GetTextFaceW(dc.Get(), LF_FACESIZE, face);
    }
    if (!font || lstrcmpiW(face, L"Tahoma") != 0) font = CreateNamedFont(L"MS Sans Serif", fallbackHeight);
    return font;
}

bool CopyToClipboard(HWND owner, const UString& text) {
    const size_t bytes = (text.size() + 1) * sizeof(char16_t);
    win32::TGlobalMemory memory(GlobalAlloc(GMEM_MOVEABLE, bytes));
    if (!memory) return false;
    void* target = GlobalLock(memory.Get());
    if (!target) return false;
    std::memcpy(target, text.c_str(), bytes);
    GlobalUnlock(memory.Get());
    TOpenClipboard clipboard(owner);
    if (!clipboard) return false;
    EmptyClipboard();
    if (!SetClipboardData(CF_UNICODETEXT, memory.Get())) return false;
    memory.Release();  // the clipboard owns it now
    return true;
}

bool RegisterWindowClass(const wchar_t* name, WNDPROC procedure, HBRUSH background) {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = OwnModule();
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = background;
    windowClass.lpszClassName = name;
    return RegisterClassExW(&windowClass) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

BITMAPINFO TopDownBitmapInfo(int width, int height) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

void PaintPictureAndText(HWND window, const TBoxPicture& picture, const TBoxRect& pictureAt, HFONT font,
                         const TBoxRect& textAt, const UString& text, UINT format) {
    TPaint paint(window);
    HDC dc = paint.Get();
    if (picture) picture.Draw(dc, pictureAt.Left, pictureAt.Top, GetSysColor(COLOR_BTNFACE));
    win32::TSelectObject selected(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    RECT rect = {textAt.Left, textAt.Top, textAt.Right(), textAt.Bottom()};
    DrawTextW(dc, win32::Wide(text), -1, &rect, format);
}

}  // namespace qr
