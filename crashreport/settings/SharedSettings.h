#pragma once
// Windows only: the settings shared by all modules of the process through
// the named block "TobriskSettingsBuf2$<pid>", guarded by the named mutex
// "TobriskSettingsMtx$<pid>". Each module's stored settings text is put
// there once, keyed by the module's handle.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "base/win32/Handles.h"
#include "crashreport/system/ErrorBox.h"
#include "crashreport/settings/Settings.h"

namespace qr {

class TSharedSettings {
public:
    // Room for the settings texts of every module of a process.
    static constexpr uint32_t kBlockSize = 64 * 1024;

    // Opens the block of this process, creating it when it does not exist
    // yet. When it cannot be created, shows "internal error (opening
    // settings buffer)" captioned "Tobrisk" and returns null: the crash
    // reporter then has no settings and intercepts nothing.
    static std::unique_ptr<TSharedSettings> Open(IErrorBox& errorBox);
    ~TSharedSettings() = default;
    TSharedSettings(const TSharedSettings&) = delete;
    TSharedSettings& operator=(const TSharedSettings&) = delete;

    // Stores a module's settings text (null: the program file) unless the
    // module has one there already. False when the block is full or stays
    // locked.
    bool Publish(void* module, std::string_view text);
    // The text stored for a module, if any.
    std::optional<std::string> Find(void* module) const;

    // Settings of a module: its shared text, put there from its stored
    // settings on first use; a module without settings gets the program's.
    // Null when not even the program has settings; ESettingsFormatError
    // when the text is damaged.
    std::unique_ptr<TIMESettings> ModuleSettings(void* module);

private:
    std::optional<std::string> ModuleText(void* module);
    TSharedSettings(win32::THandle mutex, win32::THandle mapping, win32::TMappedView view);
    unsigned char* View() const { return static_cast<unsigned char*>(FView.Get()); }
    std::optional<std::string> FindLocked(uint64_t key) const;

    win32::THandle FMutex;
    win32::THandle FMapping;
    win32::TMappedView FView;  // unmapped before the handles close
};

}  // namespace qr
