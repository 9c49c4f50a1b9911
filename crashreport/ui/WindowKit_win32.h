#pragma once
// Small pieces every window of the crash reporter needs: the module that
// holds its window procedures, painting, the dialog font, the clipboard.
#include <windows.h>

#include "base/Text.h"
#include "base/win32/Handles.h"
#include "crashreport/ui/BoxPictures_win32.h"
#include "crashreport/ui/ExceptionBox.h"

namespace qr {

// The module holding this code, which need not be the program file.
HINSTANCE OwnModule();

// "Tahoma" `height` pixels where the system has it, else "MS Sans Serif"
// `fallbackHeight`.
win32::TFontHandle CreateDialogFont(int height = 11, int fallbackHeight = 12);
win32::TFontHandle CreateNamedFont(const wchar_t* face, int height, bool bold = false);

// Lends a window's painting device context between BeginPaint and EndPaint.
class TPaint {
public:
    explicit TPaint(HWND window) : FWindow(window) { FDC = BeginPaint(window, &FPaint); }
    ~TPaint() { EndPaint(FWindow, &FPaint); }
    TPaint(const TPaint&) = delete;
    TPaint& operator=(const TPaint&) = delete;
    HDC Get() const { return FDC; }

private:
    HWND FWindow;
    PAINTSTRUCT FPaint;
    HDC FDC;
};

// How GDI reads or writes 32-bit pixels (blue, green, red, unused) with
// the top row first.
BITMAPINFO TopDownBitmapInfo(int width, int height);

// Paints a window that shows a picture beside a wrapped text, as the crash
// dialog and the please-wait window do (DrawText's `format`).
void PaintPictureAndText(HWND window, const TBoxPicture& picture, const TBoxRect& pictureAt, HFONT font,
                         const TBoxRect& textAt, const UString& text, UINT format);

// Puts a text on the clipboard as Unicode text; false when the clipboard
// stayed busy or memory ran out.
bool CopyToClipboard(HWND owner, const UString& text);

// Registers a window class once per process; a second window finds it in
// place. False when it cannot be registered.
bool RegisterWindowClass(const wchar_t* name, WNDPROC procedure, HBRUSH background);

}  // namespace qr
