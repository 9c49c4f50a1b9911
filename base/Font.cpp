#include "base/Font.h"

namespace qr {
namespace {

struct TCharsetName {
    const char16_t* Name;
    int Value;
};

// The Windows GDI character sets by their standard names.
constexpr TCharsetName kCharsets[] = {
    {u"ANSI_CHARSET", 0},      {u"DEFAULT_CHARSET", 1},    {u"SYMBOL_CHARSET", 2},
    {u"MAC_CHARSET", 77},      {u"SHIFTJIS_CHARSET", 128}, {u"HANGEUL_CHARSET", 129},
    {u"JOHAB_CHARSET", 130},   {u"GB2312_CHARSET", 134},   {u"CHINESEBIG5_CHARSET", 136},
    {u"GREEK_CHARSET", 161},   {u"TURKISH_CHARSET", 162},  {u"VIETNAMESE_CHARSET", 163},
    {u"HEBREW_CHARSET", 177},  {u"ARABIC_CHARSET", 178},   {u"BALTIC_CHARSET", 186},
    {u"RUSSIAN_CHARSET", 204}, {u"THAI_CHARSET", 222},     {u"EASTEUROPE_CHARSET", 238},
    {u"OEM_CHARSET", 255}};

}  // namespace

std::optional<int> CharsetValue(std::u16string_view name, bool ignoreCase) {
    for (const TCharsetName& c : kCharsets)
        if (ignoreCase ? SameText(name, c.Name) : name == c.Name) return c.Value;
    return std::nullopt;
}

UString CharsetName(int value) {
    for (const TCharsetName& c : kCharsets)
        if (c.Value == value) return c.Name;
    return u"DEFAULT_CHARSET";
}

}  // namespace qr
