#pragma once
// The failure's screenshot as the PNG file that a sent report carries: a
// 256-colour picture, or 16 grey levels where that is asked for or smaller.
#include <string>

#include "crashreport/report/Screenshot.h"
#include "crashreport/send/PngFile.h"

namespace qr {

// Bit depth 8, palette from Wu's quantiser.
TPalettePicture ColourPicture(const TScreenshot& shot);
// Bit depth 4, the 16 grey levels, two pixels a byte (left one high).
TPalettePicture GreyPicture(const TScreenshot& shot);

// `ScrShotDepth`: 4 gives the grey picture; 51200, 102400, 204800 and
// 307200 give the colour picture unless it is larger than that many bytes
// and the grey one is smaller; anything else gives the colour picture.
// Throws EPngError when no picture can be made (an empty screenshot).
std::string ScreenshotPng(const TScreenshot& shot, int scrShotDepth);

}  // namespace qr
