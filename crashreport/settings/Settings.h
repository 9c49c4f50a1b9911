#pragma once
// Settings objects of the crash reporter. A module's settings answer every
// key from its stored list or, for the keys the list lacks, from the
// built-in defaults. A failure's settings start as the module's and can be
// changed for that one failure.
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "crashreport/settings/SettingsTable.h"

namespace qr {

// The keys the stored list of this program leaves out, with their values.
const std::vector<std::pair<std::string, TSettingValue>>& BuiltInSettingDefaults();

class TIMESettings {
public:
    explicit TIMESettings(std::shared_ptr<const TSettingsTable> stored);
    TIMESettings(const TIMESettings& other) : FStored(other.FStored) {}
    TIMESettings& operator=(const TIMESettings&) = delete;
    virtual ~TIMESettings() = default;

    // Raises EUnknownSettingError for a key nothing defines.
    TSettingValue Get(std::string_view key) const;
    // These raise ESettingTypeError when the key has another type.
    bool GetBoolean(std::string_view key) const;
    int64_t GetInteger(std::string_view key) const;
    int GetEnum(std::string_view key) const;
    // Text as stored; expand placeholders before showing it.
    UString GetText(std::string_view key) const;

    // A text setting cut at every "|"; an empty text gives no items.
    std::vector<UString> GetList(std::string_view key) const;
    // Report sections of the built-in plug-ins, in report order.
    std::vector<UString> Plugins() const { return GetList("Plugins"); }
    // Assistant definition 1 to 3: its name, its title, then its forms.
    std::vector<UString> Assistant(int number) const;

protected:
    // Lets a failure's settings put its own values before the stored ones.
    virtual std::optional<TSettingValue> FindOverride(std::string_view) const { return std::nullopt; }
    // The value the module's settings give, without overrides.
    TSettingValue GetStored(std::string_view key) const;

private:
    std::shared_ptr<const TSettingsTable> FStored;
};

// Settings of one failure. Readers on the completion and sending threads
// may run while the handler thread changes a value, hence the lock.
class TFailureSettings : public TIMESettings {
public:
    explicit TFailureSettings(const TIMESettings& moduleSettings) : TIMESettings(moduleSettings) {}

    // Each raises EUnknownSettingError or ESettingTypeError like the getters
    // and then changes nothing.
    void SetBoolean(std::string_view key, bool value) { SetOverride(key, TSettingValue::Boolean(value)); }
    void SetInteger(std::string_view key, int64_t value) { SetOverride(key, TSettingValue::Integer(value)); }
    void SetEnum(std::string_view key, int value) { SetOverride(key, TSettingValue::Enum(value)); }
    void SetText(std::string_view key, UString value) {
        SetOverride(key, TSettingValue::OfText(std::move(value)));
    }

protected:
    std::optional<TSettingValue> FindOverride(std::string_view key) const override;

private:
    void SetOverride(std::string_view key, TSettingValue value);

    mutable std::mutex FLock;
    std::vector<std::pair<std::string, TSettingValue>> FOverrides;
};

}  // namespace qr
