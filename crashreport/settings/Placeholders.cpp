#include "crashreport/settings/Placeholders.h"

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qr {

namespace {

UString FileNameOnly(const UString& path) {
    size_t slash = path.find_last_of(u"\\/");
    return slash == UString::npos ? path : path.substr(slash + 1);
}

UString WithoutTrailingSeparator(UString folder) {
    while (!folder.empty() && (folder.back() == u'\\' || folder.back() == u'/')) folder.pop_back();
    return folder;
}

UString VersionText(ISystemQueries& system, const UString& fileName) {
    auto version = system.FileVersion(fileName);
    if (!version) return u"?";
    std::string joined = std::to_string((*version)[0]);
    for (size_t i = 1; i < version->size(); ++i) joined += '.' + std::to_string((*version)[i]);
    return Utf8ToUnicode(joined);
}

// A piece of the text being expanded: either still original text, which
// later placeholders may match, or a replacement, which they leave alone.
struct TPiece {
    UString Text;
    bool Original;
};

void ReplaceAll(std::vector<TPiece>& pieces, std::u16string_view placeholder,
                const std::function<UString()>& value) {
    std::optional<UString> replacement;  // asked for once, and only when needed
    std::vector<TPiece> out;
    for (TPiece& piece : pieces) {
        if (!piece.Original || piece.Text.find(placeholder) == UString::npos) {
            out.push_back(std::move(piece));
            continue;
        }
        if (!replacement) replacement = value();
        size_t start = 0;
        for (size_t at; (at = piece.Text.find(placeholder, start)) != UString::npos;
             start = at + placeholder.size()) {
            if (at > start) out.push_back({piece.Text.substr(start, at - start), true});
            out.push_back({*replacement, false});
        }
        if (start < piece.Text.size()) out.push_back({piece.Text.substr(start), true});
    }
    pieces = std::move(out);
}

}  // namespace

UString FormatPlaceholderDate(const TLocalTime& t) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", t.Year, t.Month, t.Day);
    return Utf8ToUnicode(buffer);
}

UString FormatPlaceholderTime(const TLocalTime& t) {
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d, %dms", t.Hour, t.Minute, t.Second, t.Millisecond);
    return Utf8ToUnicode(buffer);
}

UString ExpandPlaceholders(const UString& text, ISystemQueries& system, const TPlaceholderContext& context) {
    if (text.find(u'%') == UString::npos) return text;

    std::optional<UString> programFile;
    auto program = [&]() -> const UString& {
        if (!programFile) programFile = system.ProgramFileName();
        return *programFile;
    };
    auto module = [&]() -> const UString& {
        return context.ModuleFileName ? *context.ModuleFileName : program();
    };
    std::optional<TLocalTime> now = context.Time;
    auto time = [&]() -> const TLocalTime& {
        if (!now) now = system.LocalTime();
        return *now;
    };

    // The order of this table is the order of replacement.
    const std::pair<std::u16string_view, std::function<UString()>> table[] = {
        {u"%appname%", [&] { return FileNameOnly(program()); }},
        {u"%modname%", [&] { return FileNameOnly(module()); }},
        {u"%appversion%", [&] { return VersionText(system, program()); }},
        {u"%modversion%", [&] { return VersionText(system, module()); }},
        {u"%exceptClass%", [&] { return context.ExceptClass.value_or(u"Unknown"); }},
        {u"%exceptMsg%", [&] { return context.ExceptMessage.value_or(u"Unknown"); }},
        {u"%bugReport%", [&] { return *context.BugReport; }},
        {u"%LF%", [] { return UString(u"\r\n"); }},
        {u"%date%", [&] { return FormatPlaceholderDate(time()); }},
        {u"%time%", [&] { return FormatPlaceholderTime(time()); }},
        {u"%datetime%",
         [&] { return FormatPlaceholderDate(time()) + u", " + FormatPlaceholderTime(time()); }},
        {u"%computerName%", [&] { return system.ComputerName(); }},
        {u"%desktop%", [&] { return WithoutTrailingSeparator(system.DesktopFolder()); }},
        {u"%userappdata%", [&] { return WithoutTrailingSeparator(system.UserAppDataFolder()); }},
        {u"%commonappdata%", [&] { return WithoutTrailingSeparator(system.CommonAppDataFolder()); }},
    };

    std::vector<TPiece> pieces{{text, true}};
    for (const auto& [placeholder, value] : table) {
        if (placeholder == u"%bugReport%" && !context.BugReport) continue;
        ReplaceAll(pieces, placeholder, value);
    }
    UString out;
    for (const TPiece& piece : pieces) out += piece.Text;
    return out;
}

}  // namespace qr
