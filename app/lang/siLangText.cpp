// Text helpers of the translation table: fields of a row, comma text and
// the text form of string lists.
#include "app/lang/siLang.h"

namespace qr {

std::u16string_view StringsTypeName(TStringsType type) {
    static constexpr std::u16string_view kNames[] = {
        u"stCaptions",   u"stHints",        u"stDisplayLabels", u"stFonts",
        u"stMultiLines", u"stDlgsCaptions", u"stStrings",       u"stOtherStrings",
        u"stLocales",    u"stCollections",  u"stCharSets",      u"stListView_TreeView_Items"};
    return kNames[static_cast<int>(type)];
}

UString ExtractField(std::u16string_view row, char16_t delim, int index) {
    if (index < 0) return {};
    size_t start = 0;
    for (int k = 0; k < index; ++k) {
        size_t d = row.find(delim, start);
        if (d == std::u16string_view::npos) return {};
        start = d + 1;
    }
    size_t end = row.find(delim, start);
    if (end == std::u16string_view::npos) return {};
    return UString(row.substr(start, end - start));
}

namespace {
// Blanks and control characters separate comma-text items; a zero
// character ends the text.
bool IsBlank(char16_t c) { return c >= 1 && c <= u' '; }
}  // namespace

std::vector<UString> CommaTextToItems(std::u16string_view text) {
    text = text.substr(0, text.find(u'\0'));
    std::vector<UString> items;
    size_t p = 0, n = text.size();
    while (p < n && IsBlank(text[p])) ++p;
    while (p < n) {
        UString item;
        if (text[p] == u'"') {
            ++p;
            while (p < n) {
                if (text[p] == u'"') {
                    if (p + 1 < n && text[p + 1] == u'"') {
                        item += u'"';
                        p += 2;
                        continue;
                    }
                    ++p;
                    break;
                }
                item += text[p++];
            }
        } else {
            size_t b = p;
            while (p < n && text[p] > u' ' && text[p] != u',') ++p;
            item.assign(text.substr(b, p - b));
        }
        items.push_back(std::move(item));
        while (p < n && IsBlank(text[p])) ++p;
        if (p < n && text[p] == u',') {
            // A comma at the very end still separates an empty last item.
            if (p + 1 == n) items.emplace_back();
            ++p;
            while (p < n && IsBlank(text[p])) ++p;
        }
    }
    return items;
}

UString ItemsToCommaText(const std::vector<UString>& items) {
    if (items.size() == 1 && items[0].empty()) return u"\"\"";
    UString out;
    for (size_t i = 0; i < items.size(); ++i) {
        const UString& s = items[i];
        if (i) out += u',';
        size_t k = 0;
        while (k < s.size() && s[k] > u' ' && s[k] != u'"' && s[k] != u',') ++k;
        // Quote an item holding a separator or a quote (the text form ends
        // at a zero character, so one there does not count).
        if (k < s.size() && s[k] != u'\0') {
            out += u'"';
            for (char16_t c : s) {
                if (c == u'"') out += u'"';
                out += c;
            }
            out += u'"';
        } else {
            out += s;
        }
    }
    return out;
}

std::vector<UString> TextToLines(std::u16string_view text) {
    std::vector<UString> lines;
    size_t p = 0, n = text.size();
    while (p < n) {
        size_t b = p;
        while (p < n && text[p] != u'\r' && text[p] != u'\n') ++p;
        lines.emplace_back(text.substr(b, p - b));
        if (p < n && text[p] == u'\r') ++p;
        if (p < n && text[p] == u'\n') ++p;
    }
    return lines;
}

UString LinesToText(const std::vector<UString>& lines) {
    UString out;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i) out += u"\r\n";
        out += lines[i];
    }
    return out;
}

}  // namespace qr
