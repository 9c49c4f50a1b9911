#pragma once
// Icon pictures and the image list the tray icon takes its picture from.
// Pictures are kept as the bytes of an .ico file; the native icon is made
// when its handle is first asked for.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "base/Component.h"
#include "base/win32/Handles.h"

namespace qr {

class TIcon : public TPersistent {
public:
    TIcon() = default;
    ~TIcon() override;
    TIcon(const TIcon&) = delete;
    TIcon& operator=(const TIcon&) = delete;
    const char* ClassName() const override { return "TIcon"; }

    // .ico file bytes; empty for no picture. Fires OnChange.
    void LoadFromBytes(const std::string& bytes);
    const std::string& Bytes() const { return FBytes; }
    bool Empty() const { return FBytes.empty(); }
    // Copies the picture; fires OnChange.
    void Assign(const TIcon& source);
    // The native icon; 0 without a picture. Raises EReadError when the
    // bytes are no icon.
    HICON Handle();

    std::function<void(TIcon*)> OnChange;

private:
    void ReleaseHandle();
    std::string FBytes;
    win32::TIconHandle FHandle;
};

class TCustomImageList : public TComponent {
public:
    explicit TCustomImageList(TComponent* owner);
    const char* ClassName() const override { return "TCustomImageList"; }
    int Count() const { return int(FImages.size()); }
    // Image `index` as an .ico file with one image.
    const std::string& Image(int index) const { return FImages.at(size_t(index)); }
    // Splits an .ico file into its images and appends them.
    void AddIcons(const std::string& icoBytes);
    void Clear() { FImages.clear(); }
    // Copies image `index` into `icon` (which fires its change notification).
    void GetIcon(int index, TIcon& icon) const;

private:
    std::vector<std::string> FImages;
    int FWidth = 16, FHeight = 16;
};

class TImageList : public TCustomImageList {
public:
    using TCustomImageList::TCustomImageList;
    const char* ClassName() const override { return "TImageList"; }
};

}  // namespace qr
