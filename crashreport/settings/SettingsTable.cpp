#include "crashreport/settings/SettingsTable.h"

#include <charconv>

namespace qr {

namespace {

[[noreturn]] void BadLine(int number, std::string_view line, std::string_view why) {
    throw ESettingsFormatError("Settings line " + std::to_string(number) + " " + std::string(why) + ": \"" +
                               std::string(line) + "\"");
}

bool ParseNumber(std::string_view text, int64_t& value) {
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

}  // namespace

const char* SettingTypeName(TSettingType type) {
    switch (type) {
        case TSettingType::stBoolean:
            return "bool";
        case TSettingType::stInteger:
            return "int";
        case TSettingType::stEnum:
            return "enum";
        case TSettingType::stText:
            return "text";
    }
    return "?";
}

TSettingsTable TSettingsTable::Parse(std::string_view text) {
    TSettingsTable table;
    int number = 0;
    while (!text.empty()) {
        size_t eol = text.find('\n');
        std::string_view line = text.substr(0, eol);
        text = eol == std::string_view::npos ? std::string_view() : text.substr(eol + 1);
        ++number;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || line.front() == '#') continue;

        size_t equals = line.find('=');
        size_t colon = equals == std::string_view::npos ? equals : line.find(':', equals);
        if (colon == std::string_view::npos) BadLine(number, line, "is not Key=type:value");
        std::string_view key = line.substr(0, equals);
        std::string_view type = line.substr(equals + 1, colon - equals - 1);
        std::string_view raw = line.substr(colon + 1);
        if (key.empty()) BadLine(number, line, "has no key");
        if (table.Find(key)) BadLine(number, line, "repeats a key");

        TSettingValue value;
        if (type == "text") {
            value = TSettingValue::OfText(Utf8ToUnicode(raw));
        } else if (type == "bool") {
            if (SameText(raw, "True"))
                value = TSettingValue::Boolean(true);
            else if (SameText(raw, "False"))
                value = TSettingValue::Boolean(false);
            else
                BadLine(number, line, "has no boolean value");
        } else if (type == "int" || type == "enum") {
            int64_t n = 0;
            if (!ParseNumber(raw, n)) BadLine(number, line, "has no number");
            if (type == "int") {
                value = TSettingValue::Integer(n);
            } else {
                if (n < 0 || n > 255) BadLine(number, line, "has no enumeration ordinal");
                value = TSettingValue::Enum(int(n));
            }
        } else {
            BadLine(number, line, "has an unknown type");
        }
        table.FEntries.emplace_back(std::string(key), std::move(value));
    }
    return table;
}

const TSettingValue* TSettingsTable::Find(std::string_view key) const {
    for (const auto& [name, value] : FEntries)
        if (SameText(name, key)) return &value;
    return nullptr;
}

}  // namespace qr
