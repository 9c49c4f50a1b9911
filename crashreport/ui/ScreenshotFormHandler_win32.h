#pragma once
// The screenshot form's action handler: shows the failure's screenshot,
// lets the user edit it in the program the system has for the "edit" verb
// of bitmap files, reloads it when the editor saved it, and takes over the
// attach-screenshot choice.
#include <functional>
#include <optional>
#include <string>

#include "crashreport/ui/Assistant_win32.h"

namespace qr {

struct TScreenshotAccess {
    std::function<TNVPicture()> Get;
    std::function<void(TNVPicture)> Set;  // the edited screenshot
    std::function<bool()> Attach;
    std::function<void(bool)> SetAttach;
    std::wstring Folder;  // where "screenShot.bmp" goes, with a trailing backslash
};

TNVActionHandler ScreenshotFormHandler(TScreenshotAccess access);

// A picture as a 32-bit bitmap file and back; an unreadable file gives none.
bool SavePictureFile(const std::wstring& path, const TNVPicture& picture);
std::optional<TNVPicture> LoadPictureFile(const std::wstring& path);

}  // namespace qr
