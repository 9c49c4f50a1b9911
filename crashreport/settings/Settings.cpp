#include "crashreport/settings/Settings.h"

namespace qr {

namespace {

[[noreturn]] void WrongType(std::string_view key, TSettingType has, TSettingType wanted) {
    throw ESettingTypeError("Setting \"" + std::string(key) + "\" is " + SettingTypeName(has) + ", not " +
                            SettingTypeName(wanted));
}

TSettingValue Typed(std::string_view key, TSettingValue value, TSettingType wanted) {
    if (value.Type != wanted) WrongType(key, value.Type, wanted);
    return value;
}

}  // namespace

const std::vector<std::pair<std::string, TSettingValue>>& BuiltInSettingDefaults() {
    static const std::vector<std::pair<std::string, TSettingValue>> defaults = {
        {"AutoDelay", TSettingValue::Integer(60)},
        {"MinDebugInfo", TSettingValue::OfText(u"")},
        {"AddFields", TSettingValue::OfText(u"")},
        {"MailFrom", TSettingValue::OfText(u"")},
    };
    return defaults;
}

TIMESettings::TIMESettings(std::shared_ptr<const TSettingsTable> stored) : FStored(std::move(stored)) {
    if (!FStored) FStored = std::make_shared<TSettingsTable>();
}

TSettingValue TIMESettings::GetStored(std::string_view key) const {
    if (const TSettingValue* value = FStored->Find(key)) return *value;
    for (const auto& [name, value] : BuiltInSettingDefaults())
        if (SameText(name, key)) return value;
    throw EUnknownSettingError("Unknown crash reporter setting \"" + std::string(key) + "\"");
}

TSettingValue TIMESettings::Get(std::string_view key) const {
    if (auto value = FindOverride(key)) return *value;
    return GetStored(key);
}

bool TIMESettings::GetBoolean(std::string_view key) const {
    return Typed(key, Get(key), TSettingType::stBoolean).Number != 0;
}

int64_t TIMESettings::GetInteger(std::string_view key) const {
    return Typed(key, Get(key), TSettingType::stInteger).Number;
}

int TIMESettings::GetEnum(std::string_view key) const {
    return int(Typed(key, Get(key), TSettingType::stEnum).Number);
}

UString TIMESettings::GetText(std::string_view key) const {
    return Typed(key, Get(key), TSettingType::stText).Text;
}

std::vector<UString> TIMESettings::GetList(std::string_view key) const {
    UString text = GetText(key);
    std::vector<UString> items;
    if (text.empty()) return items;
    size_t start = 0;
    for (size_t bar; (bar = text.find(u'|', start)) != UString::npos; start = bar + 1)
        items.push_back(text.substr(start, bar - start));
    items.push_back(text.substr(start));
    return items;
}

std::vector<UString> TIMESettings::Assistant(int number) const {
    return GetList("Assistant" + std::to_string(number));
}

std::optional<TSettingValue> TFailureSettings::FindOverride(std::string_view key) const {
    std::lock_guard<std::mutex> lock(FLock);
    for (const auto& [name, value] : FOverrides)
        if (SameText(name, key)) return value;
    return std::nullopt;
}

void TFailureSettings::SetOverride(std::string_view key, TSettingValue value) {
    // Only keys the module knows, with their own type, can be changed.
    TSettingType type = GetStored(key).Type;
    if (type != value.Type) WrongType(key, type, value.Type);
    std::lock_guard<std::mutex> lock(FLock);
    for (auto& [name, old] : FOverrides) {
        if (SameText(name, key)) {
            old = std::move(value);
            return;
        }
    }
    FOverrides.emplace_back(std::string(key), std::move(value));
}

}  // namespace qr
