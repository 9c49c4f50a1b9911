#pragma once
// Shared by the localization sources only.
#include <climits>
#include <string>

#include "app/lang/siLang.h"

namespace qr {

inline constexpr const char* kLanguageNameError = "Language name shall be included in LangNames property!";

inline std::string NumOfLanguagesError(int value) {
    return std::to_string(value) + " - is not a valid property value !\rValue must be more than ZERO !";
}

// Integer properties hold a 32-bit value.
inline int CheckedInt(int64_t value) {
    if (value < INT_MIN || value > INT_MAX) throw EPropertyError(std::to_string(value) + " is out of range");
    return int(value);
}

// Position of `text` in `list`, ignoring letter case; -1 when absent.
inline int IndexOfText(const std::vector<UString>& list, std::u16string_view text) {
    for (size_t i = 0; i < list.size(); ++i)
        if (SameText(list[i], text)) return int(i);
    return -1;
}

// Pads with "Language N<number>" or drops names from the end.
inline void ResizeLangNames(std::vector<UString>& names, int count) {
    if (count < 0) count = 0;
    if (names.size() > size_t(count)) names.resize(size_t(count));
    while (names.size() < size_t(count))
        names.push_back(u"Language N" + Utf8ToUnicode(std::to_string(names.size() + 1)));
}

}  // namespace qr
