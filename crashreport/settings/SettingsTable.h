#pragma once
// The crash reporter's stored settings list: one typed value per key, read
// from the text stored with the program (one `Key=type:value` line each).
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/Exception.h"
#include "base/Text.h"

namespace qr {

QR_DECLARE_EXCEPTION(ESettingsError, Exception);
// The stored text has a line that is no setting.
QR_DECLARE_EXCEPTION(ESettingsFormatError, ESettingsError);
// A key that neither the stored list nor the built-in defaults know.
QR_DECLARE_EXCEPTION(EUnknownSettingError, ESettingsError);
// A key read or written as a type it does not have.
QR_DECLARE_EXCEPTION(ESettingTypeError, ESettingsError);

enum class TSettingType { stBoolean, stInteger, stEnum, stText };

// Name of the type as the stored text writes it: bool, int, enum, text.
const char* SettingTypeName(TSettingType type);

struct TSettingValue {
    TSettingType Type = TSettingType::stText;
    int64_t Number = 0;  // boolean (0 or 1), integer, or the enumeration's ordinal
    UString Text;        // text settings only

    static TSettingValue Boolean(bool value) { return {TSettingType::stBoolean, value ? 1 : 0, {}}; }
    static TSettingValue Integer(int64_t value) { return {TSettingType::stInteger, value, {}}; }
    static TSettingValue Enum(int value) { return {TSettingType::stEnum, value, {}}; }
    static TSettingValue OfText(UString value) { return {TSettingType::stText, 0, std::move(value)}; }
    bool operator==(const TSettingValue&) const = default;
};

class TSettingsTable {
public:
    // Blank lines and lines starting with '#' are skipped; a trailing CR is
    // dropped. Text values are UTF-8 and run to the end of the line.
    // Raises ESettingsFormatError naming the line for anything else, and for
    // a key given twice.
    static TSettingsTable Parse(std::string_view text);

    // Key compared ignoring ASCII letter case; null when the list lacks it.
    const TSettingValue* Find(std::string_view key) const;
    // Keys in stored order.
    const std::vector<std::pair<std::string, TSettingValue>>& Entries() const { return FEntries; }

private:
    std::vector<std::pair<std::string, TSettingValue>> FEntries;
};

}  // namespace qr
