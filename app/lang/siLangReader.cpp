// Reads the translation table stored with a form. The bytes come from the
// form's resource but are treated as untrusted: every step is linear in the
// input and no input makes it fail.
#include <algorithm>
#include <optional>

#include "app/lang/siLang.h"

namespace qr {

UString DecodeTranslationData(std::string_view bytes) {
    if (bytes.size() < 2) return {};
    if (bytes[1] != '\0') return AnsiToUnicode(bytes);
    UString text(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = char16_t(static_cast<unsigned char>(bytes[2 * i]) |
                           (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    return text;
}

namespace {

constexpr std::u16string_view kUnicodeSuffix = u"_Unicode";
constexpr size_t kLongestHeader = 25 + 8;  // stListView_TreeView_Items_Unicode

struct THeader {
    TStringsType Type;
    bool Unicode;
};

std::optional<THeader> ParseHeader(std::u16string_view line) {
    if (line.size() > kLongestHeader) return std::nullopt;
    bool unicode = false;
    if (line.size() > kUnicodeSuffix.size() &&
        SameText(line.substr(line.size() - kUnicodeSuffix.size()), kUnicodeSuffix)) {
        line.remove_suffix(kUnicodeSuffix.size());
        unicode = true;
    }
    for (int t = 0; t <= static_cast<int>(TStringsType::stListView_TreeView_Items); ++t) {
        auto type = static_cast<TStringsType>(t);
        if (SameText(line, StringsTypeName(type))) return THeader{type, unicode};
    }
    return std::nullopt;
}

// Collects one section's rows; rows of the owner go to the top, each new
// one above the previous, which is the order reversed at the end.
struct TSectionBuilder {
    TStringRows* List = nullptr;
    std::vector<UString> Top;

    void Flush() {
        if (!List) return;
        List->insert(List->begin(), std::make_move_iterator(Top.rbegin()),
                     std::make_move_iterator(Top.rend()));
        Top.clear();
        List = nullptr;
    }
};

}  // namespace

bool ReadTranslationText(std::u16string_view text, std::u16string_view ownerClassName, char16_t delim,
                         TSectionLists& lists) {
    // Lines end at CR LF; a last line without one still counts.
    std::vector<std::u16string_view> lines;
    for (size_t p = 0; p < text.size();) {
        size_t e = text.find(u"\r\n", p);
        if (e == std::u16string_view::npos) {
            lines.push_back(text.substr(p));
            break;
        }
        lines.push_back(text.substr(p, e - p));
        p = e + 2;
    }

    UString ownerPrefix;
    if (!ownerClassName.empty()) {
        ownerPrefix.assign(ownerClassName);
        ownerPrefix += delim;
    }

    bool anyUnicode = false;
    bool inSection = false;  // rows before the first header are ignored
    TSectionBuilder section;
    for (size_t i = 0; i < lines.size(); ++i) {
        std::u16string_view line = lines[i];
        if (auto header = ParseHeader(line)) {
            // A header with nothing after it introduces no section.
            if (i + 1 == lines.size()) break;
            section.Flush();
            inSection = true;
            anyUnicode = anyUnicode || header->Unicode;
            if (header->Type != TStringsType::stListView_TreeView_Items) {
                section.List = &lists[static_cast<size_t>(header->Type)];
                section.List->clear();
            }
            continue;
        }
        if (!inSection || !section.List) continue;
        UString row(line);
        std::replace(row.begin(), row.end(), u'\x19', u'\r');
        std::replace(row.begin(), row.end(), u'\x1A', u'\n');
        if (!ownerPrefix.empty() && row.starts_with(ownerPrefix))
            section.Top.push_back(std::move(row));
        else
            section.List->push_back(std::move(row));
    }
    section.Flush();
    return anyUnicode;
}

}  // namespace qr
