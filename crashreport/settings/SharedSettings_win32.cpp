#include <windows.h>

#include <cstring>

#include "crashreport/settings/KernelObjectNames.h"
#include "crashreport/settings/SharedSettings.h"
#include "crashreport/settings/StoredSettings.h"

namespace qr {

namespace {

// Block layout: header, then entries back to back, each the module handle
// (8 bytes), the text length (4 bytes) and the text.
constexpr uint32_t kMagic = 0x32425354;  // "TSB2"
struct THeader {
    uint32_t Magic;
    uint32_t Used;  // bytes of entries after the header
};
constexpr uint32_t kEntryHead = 12;
constexpr uint32_t kCapacity = TSharedSettings::kBlockSize - sizeof(THeader);

// Holders of the mutex only copy a few kilobytes, so a wait this long means
// a module of the process hung or died inside; the caller then gives up
// instead of hanging the failure handling as well.
constexpr DWORD kLockTimeoutMs = 10000;

class TBlockLock {
public:
    explicit TBlockLock(HANDLE mutex) : FMutex(mutex) {
        DWORD result = WaitForSingleObject(mutex, kLockTimeoutMs);
        // An abandoned mutex is ours now; the entries are bounds-checked.
        FHeld = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
    }
    ~TBlockLock() {
        if (FHeld) ReleaseMutex(FMutex);
    }
    TBlockLock(const TBlockLock&) = delete;
    TBlockLock& operator=(const TBlockLock&) = delete;
    bool Held() const { return FHeld; }

private:
    HANDLE FMutex;
    bool FHeld = false;
};

std::wstring ObjectName(std::u16string_view base) {
    UString name = ProcessObjectName(base, GetCurrentProcessId());
    return std::wstring(name.begin(), name.end());
}

uint64_t ModuleKey(void* module) {
    return reinterpret_cast<uintptr_t>(module ? module : GetModuleHandleW(nullptr));
}

THeader& Header(unsigned char* view) { return *reinterpret_cast<THeader*>(view); }

}  // namespace

TSharedSettings::TSharedSettings(win32::THandle mutex, win32::THandle mapping, win32::TMappedView view)
    : FMutex(std::move(mutex)), FMapping(std::move(mapping)), FView(std::move(view)) {}

std::unique_ptr<TSharedSettings> TSharedSettings::Open(IErrorBox& errorBox) {
    win32::THandle mutex(CreateMutexW(nullptr, FALSE, ObjectName(u"TobriskSettingsMtx").c_str()));
    win32::THandle mapping;
    if (mutex)
        mapping.Reset(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kBlockSize,
                                         ObjectName(u"TobriskSettingsBuf2").c_str()));
    win32::TMappedView view;
    if (mapping) view.Reset(MapViewOfFile(mapping.Get(), FILE_MAP_ALL_ACCESS, 0, 0, kBlockSize));
    if (!view) {
        errorBox.Show(u"internal error (opening settings buffer)", u"Tobrisk");
        return nullptr;
    }
    std::unique_ptr<TSharedSettings> shared(
        new TSharedSettings(std::move(mutex), std::move(mapping), std::move(view)));
    TBlockLock lock(shared->FMutex.Get());
    // A new block is all zeros; whoever comes first lays it out.
    if (lock.Held() && Header(shared->View()).Magic != kMagic) Header(shared->View()) = {kMagic, 0};
    return shared;
}

std::optional<std::string> TSharedSettings::FindLocked(uint64_t key) const {
    const THeader& header = Header(View());
    if (header.Magic != kMagic) return std::nullopt;
    uint32_t used = header.Used < kCapacity ? header.Used : kCapacity;
    const unsigned char* entries = View() + sizeof(THeader);
    for (uint32_t at = 0; used - at >= kEntryHead;) {
        uint64_t module;
        uint32_t length;
        std::memcpy(&module, entries + at, 8);
        std::memcpy(&length, entries + at + 8, 4);
        at += kEntryHead;
        if (length > used - at) return std::nullopt;  // damaged entry: stop reading
        if (module == key) return std::string(reinterpret_cast<const char*>(entries + at), length);
        at += length;
    }
    return std::nullopt;
}

std::optional<std::string> TSharedSettings::Find(void* module) const {
    TBlockLock lock(FMutex.Get());
    if (!lock.Held()) return std::nullopt;
    return FindLocked(ModuleKey(module));
}

bool TSharedSettings::Publish(void* module, std::string_view text) {
    TBlockLock lock(FMutex.Get());
    if (!lock.Held()) return false;
    uint64_t key = ModuleKey(module);
    if (FindLocked(key)) return true;
    THeader& header = Header(View());
    if (header.Magic != kMagic || header.Used > kCapacity || kCapacity - header.Used < kEntryHead ||
        text.size() > kCapacity - header.Used - kEntryHead)
        return false;
    unsigned char* at = View() + sizeof(THeader) + header.Used;
    uint32_t length = uint32_t(text.size());
    std::memcpy(at, &key, 8);
    std::memcpy(at + 8, &length, 4);
    std::memcpy(at + kEntryHead, text.data(), length);
    header.Used += kEntryHead + length;
    return true;
}

std::optional<std::string> TSharedSettings::ModuleText(void* module) {
    if (auto text = Find(module)) return text;
    auto text = LoadStoredSettingsText(module);
    if (text) Publish(module, *text);
    return text;
}

std::unique_ptr<TIMESettings> TSharedSettings::ModuleSettings(void* module) {
    auto text = ModuleText(module);
    if (!text && module) text = ModuleText(nullptr);
    if (!text) return nullptr;
    return std::make_unique<TIMESettings>(std::make_shared<TSettingsTable>(TSettingsTable::Parse(*text)));
}

}  // namespace qr
