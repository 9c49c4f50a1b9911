#include "app/ui/ImageList_win32.h"

#include <cstdint>
#include <cstring>

namespace qr {

namespace {

uint32_t Le(const std::string& b, size_t at, int width) {
    uint32_t v = 0;
    for (int i = width - 1; i >= 0; --i) v = (v << 8) | uint8_t(b[at + size_t(i)]);
    return v;
}

struct TIconEntry {
    size_t DirAt;  // the 16-byte directory entry
    size_t Offset, Size;
};

// The images of an .ico file; raises EReadError when it is no icon file.
std::vector<TIconEntry> Entries(const std::string& b) {
    if (b.size() < 6 || Le(b, 0, 2) != 0 || Le(b, 2, 2) != 1) throw EReadError("Invalid icon");
    size_t count = Le(b, 4, 2);
    std::vector<TIconEntry> out;
    for (size_t i = 0; i < count; ++i) {
        size_t at = 6 + 16 * i;
        if (at + 16 > b.size()) throw EReadError("Invalid icon");
        TIconEntry e{at, Le(b, at + 12, 4), Le(b, at + 8, 4)};
        if (e.Size == 0 || e.Offset > b.size() || e.Size > b.size() - e.Offset)
            throw EReadError("Invalid icon");
        out.push_back(e);
    }
    if (out.empty()) throw EReadError("Invalid icon");
    return out;
}

}  // namespace

TIcon::~TIcon() { ReleaseHandle(); }

void TIcon::ReleaseHandle() { FHandle.Reset(); }

void TIcon::LoadFromBytes(const std::string& bytes) {
    ReleaseHandle();
    FBytes = bytes;
    if (OnChange) OnChange(this);
}

void TIcon::Assign(const TIcon& source) { LoadFromBytes(source.FBytes); }

HICON TIcon::Handle() {
    if (FHandle || FBytes.empty()) return FHandle.Get();
    TIconEntry e = Entries(FBytes).front();
    std::string image = FBytes.substr(e.Offset, e.Size);
    int w = uint8_t(FBytes[e.DirAt]) ? uint8_t(FBytes[e.DirAt]) : 256;
    int h = uint8_t(FBytes[e.DirAt + 1]) ? uint8_t(FBytes[e.DirAt + 1]) : 256;
    FHandle.Reset(CreateIconFromResourceEx(reinterpret_cast<PBYTE>(image.data()), DWORD(image.size()), TRUE,
                                           0x00030000, w, h, LR_DEFAULTCOLOR));
    if (!FHandle) throw EReadError("Invalid icon");
    return FHandle.Get();
}

TCustomImageList::TCustomImageList(TComponent* owner) : TComponent(owner) {
    PublishInteger(
        "Width", [this] { return FWidth; }, [this](int64_t v) { FWidth = int(v); });
    PublishInteger(
        "Height", [this] { return FHeight; }, [this](int64_t v) { FHeight = int(v); });
    TPropInfo images;
    images.Name = "Images";
    images.Kind = TTypeKind::tkBinary;
    images.TypeName = "TIconList";
    images.SetBinary = [this](const std::string& bytes) {
        Clear();
        AddIcons(bytes);
    };
    Publish(images);
}

void TCustomImageList::AddIcons(const std::string& b) {
    for (const TIconEntry& e : Entries(b)) {
        // One-image .ico: header, this entry pointing right after it, data.
        std::string one = b.substr(0, 4) + std::string("\x01\x00", 2) + b.substr(e.DirAt, 12);
        uint32_t offset = 6 + 16;
        for (int i = 0; i < 4; ++i) one.push_back(char((offset >> (8 * i)) & 0xFF));
        one += b.substr(e.Offset, e.Size);
        FImages.push_back(std::move(one));
    }
}

void TCustomImageList::GetIcon(int index, TIcon& icon) const { icon.LoadFromBytes(Image(index)); }

}  // namespace qr
