#include "crashreport/ui/ScreenshotFormHandler_win32.h"

#include <shellapi.h>

#include <memory>

#include "base/win32/Handles.h"

namespace qr {

namespace {

constexpr wchar_t kFileName[] = L"screenShot.bmp";
constexpr DWORD kBeepFrequency = 60, kBeepLength = 60;

std::optional<FILETIME> TimeStamp(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    return data.ftLastWriteTime;
}

bool SameTime(const std::optional<FILETIME>& a, const std::optional<FILETIME>& b) {
    if (!a || !b) return a.has_value() == b.has_value();
    return CompareFileTime(&*a, &*b) == 0;
}

// An edit under way: the file, its time stamp when last read or written,
// and the editing program started for it.
struct TEdit {
    std::wstring Path;
    bool Active = false;
    std::optional<FILETIME> Stamp;
    win32::THandle Process;
};

}  // namespace

namespace {

bool WritePictureFile(const std::wstring& path, const TNVPicture& picture) {
    BITMAPINFOHEADER info = {};
    info.biSize = sizeof info;
    info.biWidth = picture.Width;
    info.biHeight = picture.Height;  // bottom row first, as every editor reads it
    info.biPlanes = 1;
    info.biBitCount = 32;
    info.biCompression = BI_RGB;
    const DWORD rowBytes = DWORD(picture.Width) * 4, pixelBytes = rowBytes * DWORD(picture.Height);
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + pixelBytes;
    win32::TFileHandle out(
        CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!out) return false;
    DWORD written = 0;
    if (!WriteFile(out.Get(), &file, sizeof file, &written, nullptr) ||
        !WriteFile(out.Get(), &info, sizeof info, &written, nullptr))
        return false;
    for (int y = picture.Height - 1; y >= 0; --y)
        if (!WriteFile(out.Get(), picture.Pixels.data() + size_t(y) * size_t(picture.Width), rowBytes,
                       &written, nullptr) ||
            written != rowBytes)
            return false;
    return true;
}

}  // namespace

bool SavePictureFile(const std::wstring& path, const TNVPicture& picture) {
    if (picture.Empty()) return false;
    // Written beside it and moved into place: an editor or a reader never
    // sees half a file.
    const std::wstring part = path + L".part";
    if (!WritePictureFile(part, picture)) {
        DeleteFileW(part.c_str());
        return false;
    }
    return MoveFileExW(part.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

std::optional<TNVPicture> LoadPictureFile(const std::wstring& path) {
    // The system reads every bitmap format an editor may save.
    win32::TBitmap bitmap(static_cast<HBITMAP>(
        LoadImageW(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION)));
    if (!bitmap) return std::nullopt;
    DIBSECTION section = {};
    if (GetObjectW(bitmap.Get(), sizeof section, &section) != sizeof section) return std::nullopt;
    const BITMAP& header = section.dsBm;
    if (header.bmWidth <= 0 || header.bmHeight <= 0) return std::nullopt;
    TNVPicture picture;
    picture.Width = header.bmWidth;
    picture.Height = header.bmHeight;
    picture.Pixels.resize(size_t(picture.Width) * size_t(picture.Height));
    BITMAPINFO info = picture.BitsInfo();
    win32::TMemoryDC dc(CreateCompatibleDC(nullptr));
    if (!dc || GetDIBits(dc.Get(), bitmap.Get(), 0, UINT(picture.Height), picture.Pixels.data(), &info,
                         DIB_RGB_COLORS) != picture.Height)
        return std::nullopt;
    return picture;
}

TNVActionHandler ScreenshotFormHandler(TScreenshotAccess access) {
    auto edit = std::make_shared<TEdit>();
    edit->Path = access.Folder + kFileName;
    // The edited file, when its time stamp changed: the failure's screenshot.
    auto reload = [access, edit](TNVFormWindow& window, const TNVImage& image) {
        if (!edit->Active) return;
        std::optional<FILETIME> stamp = TimeStamp(edit->Path);
        if (SameTime(stamp, edit->Stamp)) return;
        edit->Stamp = stamp;
        // Something that is no readable bitmap leaves the old screenshot.
        if (std::optional<TNVPicture> picture = LoadPictureFile(edit->Path)) {
            if (access.Set) access.Set(*picture);
            window.SetPicture(image, std::move(*picture));
        }
    };
    return [access, edit, reload](TNVFormWindow& window, TNVAction action, TNVItem* item) {
        TNVForm& form = window.Form();
        auto* image = dynamic_cast<TNVImage*>(form.FindItem("ScrShotImg"));
        auto* attach = dynamic_cast<TNVCheckBox*>(form.FindItem("AttachCheck"));
        switch (action) {
            case nvaFormCreated:
                if (image && access.Get) window.SetPicture(*image, access.Get());
                if (attach && access.Attach) attach->Checked = access.Attach();
                break;
            case nvaItemEvent:
                if (item && item == image) {
                    if (!edit->Active) {
                        const TNVPicture* picture = window.Picture(*image);
                        CreateDirectoryW(access.Folder.c_str(), nullptr);
                        if (!picture || !SavePictureFile(edit->Path, *picture)) {
                            Beep(kBeepFrequency, kBeepLength);
                            break;
                        }
                        edit->Stamp = TimeStamp(edit->Path);
                        edit->Active = true;
                    }
                    if (edit->Process && WaitForSingleObject(edit->Process.Get(), 0) == WAIT_TIMEOUT) break;
                    SHELLEXECUTEINFOW run = {};
                    run.cbSize = sizeof run;
                    run.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
                    run.hwnd = window.Handle();
                    run.lpVerb = L"edit";
                    run.lpFile = edit->Path.c_str();
                    run.nShow = SW_SHOWMAXIMIZED;
                    if (ShellExecuteExW(&run))
                        edit->Process.Reset(run.hProcess);
                    else
                        Beep(kBeepFrequency, kBeepLength);  // no editor: the form stays as it is
                } else if (!item && image) {
                    reload(window, *image);
                }
                break;
            case nvaFormClosed:
                // An edit saved since the last tick still counts.
                if (image) reload(window, *image);
                edit->Process.Reset();
                if (edit->Active) DeleteFileW(edit->Path.c_str());
                edit->Active = false;
                if (attach && access.SetAttach) access.SetAttach(window.CurrentlyChecked(*attach));
                break;
            default:
                break;
        }
    };
}

}  // namespace qr
