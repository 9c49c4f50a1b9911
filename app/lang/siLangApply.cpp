// The translation pass: writes the active language's texts of the table
// into the owner form and its components through their published
// properties. A row that cannot be applied is skipped; the rest still is.
#include <algorithm>
#include <filesystem>
#include <unordered_map>

#include "base/Font.h"
#include "app/lang/siLangInternal.h"

namespace qr {

namespace {

using enum TStringsType;

// Rows of these sections name Component.Property.
bool IsDotted(TStringsType type) {
    return type == stMultiLines || type == stOtherStrings || type == stCollections;
}

// The property a plain-named section writes.
const char16_t* SectionProperty(TStringsType type) {
    switch (type) {
        case stCaptions:
            return u"Caption";
        case stHints:
            return u"Hint";
        case stDisplayLabels:
            return u"DisplayLabel";
        case stFonts:
            return u"Font";
        case stCharSets:
            return u"Charset";
        default:
            return u"";
    }
}

// The property a row's component is checked against when pruning: the
// owner's own first row stays only when the owner has it.
const char* OwnerRowProperty(TStringsType type) {
    switch (type) {
        case stCaptions:
            return "Caption";
        case stHints:
            return "Hint";
        case stFonts:
        case stCharSets:
            return "Font";
        default:
            return nullptr;
    }
}

bool IsStringListType(std::string_view typeName) {
    for (std::string_view t :
         {"TStrings", "TStringList", "TWideStrings", "TWideStringList", "TTntStrings", "TTntStringList"})
        if (typeName == t) return true;
    return false;
}

TFont* FontOf(const TComponent& c) {
    const TPropInfo* p = c.FindProperty("Font");
    if (!p || p->Kind != TTypeKind::tkClass || p->TypeName != "TFont" || !p->Object) return nullptr;
    return dynamic_cast<TFont*>(p->Object());
}

bool ReadsTrue(const TComponent& c, std::string_view property) {
    const TPropInfo* p = c.FindProperty(property);
    if (!p || p->Kind != TTypeKind::tkBoolean || !p->Get) return false;
    try {
        return SameText(p->Get(), u"True");
    } catch (const std::exception&) {
        return false;
    }
}

// A row has text when anything but delimiters follows its name.
bool RowHasText(std::u16string_view row, char16_t delim) {
    size_t first = row.find(delim);
    if (first == std::u16string_view::npos) return false;
    return row.find_first_not_of(delim, first + 1) != std::u16string_view::npos;
}

void SplitDotted(const UString& name, UString& component, UString& path) {
    size_t dot = name.find(u'.');
    if (dot == UString::npos) {
        component = name;
        path.clear();
    } else {
        component = name.substr(0, dot);
        path = name.substr(dot + 1);
    }
}

UString UpperAscii(std::u16string_view s) {
    UString u(s);
    for (char16_t& c : u)
        if (c >= u'a' && c <= u'z') c = char16_t(c - u'a' + u'A');
    return u;
}

// File-name texts are compared by the full path they stand for.
bool IsPathText(std::u16string_view text) {
    return text.find(u"..") != std::u16string_view::npos || text.find(u".\\") != std::u16string_view::npos;
}

UString ExpandFileName(const UString& text) {
    try {
        std::filesystem::path p(text);
        return std::filesystem::absolute(p).lexically_normal().u16string();
    } catch (const std::exception&) {
        return text;
    }
}

}  // namespace

// Last CharSets row per component name, built once per pass.
struct TCharsetIndex {
    bool Built = false;
    std::unordered_map<UString, size_t> Last;
};

bool TsiCustomLang::InDoNotTranslate(std::u16string_view name) const {
    return IndexOfText(DoNotTranslate, name) >= 0;
}

bool TsiCustomLang::InSmartExclude(std::u16string_view entry) const {
    return IndexOfText(SmartExcludeProps, entry) >= 0;
}

UString TsiCustomLang::ActiveText(std::u16string_view row) const {
    UString text = ExtractField(row, FLangDelim, FActiveLanguage);
    if (text.empty() && UseDefaultLanguage) text = ExtractField(row, FLangDelim, DefaultLanguage);
    if (text.empty() && TranslateType == TTranslateType::ttGetDefault)
        text = ExtractField(row, FLangDelim, 1);
    return text;
}

void TsiCustomLang::ApplyActiveLanguage() {
    if (!Owner()) return;
    ApplyOwnerText(stCaptions, "Caption");
    ApplyOwnerText(stHints, "Hint");
    ApplySection(stCaptions);
    ApplySection(stHints);
    ApplySection(stDisplayLabels);
    if (FontOf(*Owner())) ApplySection(stFonts);
    ApplyOwnerFont();
    ApplySection(stMultiLines);
    ApplySection(stOtherStrings);
    if (ChangeLocales) ApplySection(stLocales);
    ApplySection(stCollections);
    if (OnChangeLanguage) OnChangeLanguage(this);
}

void TsiCustomLang::ApplyOwnerText(TStringsType type, const char* property) {
    try {
        const TStringRows& list = Section(type);
        if (list.empty()) return;
        UString cls = OwnerClassName();
        if (InDoNotTranslate(cls) || InSmartExclude(cls + u"." + Utf8ToUnicode(property))) return;
        const TPropInfo* p = Owner()->FindProperty(property);
        if (!p || p->Kind != TTypeKind::tkString || !p->Set) return;
        if (!SameText(ExtractField(list[0], FLangDelim, 0), cls)) return;
        UString text = ActiveText(list[0]);
        if (!text.empty()) p->Set(text);
    } catch (const std::exception&) {
        // The owner keeps its text.
    }
}

void TsiCustomLang::ApplyOwnerFont() {
    const TStringRows& fonts = Section(stFonts);
    if (fonts.empty()) return;
    UString cls = OwnerClassName();
    if (InDoNotTranslate(cls) || InSmartExclude(cls + u".Font")) return;
    TFont* font = FontOf(*Owner());
    if (!font || !SameText(ExtractField(fonts[0], FLangDelim, 0), cls)) return;
    UString name = ExtractField(fonts[0], FLangDelim, FActiveLanguage);
    if (name.empty() && TranslateType == TTranslateType::ttGetDefault)
        name = ExtractField(fonts[0], FLangDelim, 1);
    if (!name.empty()) font->Name = name;
    const TStringRows& charsets = Section(stCharSets);
    for (size_t i = charsets.size(); i-- > 0;) {
        if (!SameText(ExtractField(charsets[i], FLangDelim, 0), cls)) continue;
        if (auto charset = CharsetValue(ExtractField(charsets[i], FLangDelim, FActiveLanguage), false))
            font->Charset = *charset;
        break;
    }
}

void TsiCustomLang::PruneSection(TStringsType type) {
    if (!Owner() || type == stListView_TreeView_Items) return;
    TStringRows& list = Section(type);
    UString cls = OwnerClassName();
    const char* ownerProperty = OwnerRowProperty(type);
    bool ownerRowKept = ownerProperty && Owner()->FindProperty(ownerProperty);
    TStringRows kept;
    kept.reserve(list.size());
    for (size_t i = 0; i < list.size(); ++i) {
        UString name = ExtractField(list[i], FLangDelim, 0);
        bool keep;
        if (IsDotted(type)) {
            UString component, path;
            SplitDotted(name, component, path);
            keep = SameText(component, cls) || Owner()->FindComponent(UnicodeToUtf8(component));
        } else {
            keep = (i == 0 && ownerRowKept) || Owner()->FindComponent(UnicodeToUtf8(name));
        }
        if (!keep) {
            FNotFound.push_back(std::move(list[i]));
            continue;
        }
        if (AutoSkipEmpties && !RowHasText(list[i], FLangDelim)) continue;
        kept.push_back(std::move(list[i]));
    }
    list = std::move(kept);
}

void TsiCustomLang::ApplySection(TStringsType type) {
    // Dialog words, identifiers, character sets (applied with the fonts),
    // locale settings and collection items are not written by this pass.
    if (type != stCaptions && type != stHints && type != stDisplayLabels && type != stFonts &&
        type != stMultiLines && type != stOtherStrings)
        return;
    if (!Owner()) return;
    PruneSection(type);
    const TStringRows& list = Section(type);
    size_t start = 0;
    if (type == stCaptions || type == stHints || type == stFonts) {
        UString cls = OwnerClassName();
        bool ownerIsForm = Owner()->FindProperty("Caption") != nullptr;
        if (ownerIsForm && !InDoNotTranslate(cls) && !list.empty() &&
            list[0].find(cls + FLangDelim) != UString::npos)
            start = 1;  // the owner's own row was written before
    }
    TCharsetIndex charsets;
    for (size_t i = start; i < list.size(); ++i) {
        UString row = list[i];
        ApplyRow(type, row, charsets);
    }
}

void TsiCustomLang::ApplyRow(TStringsType type, const UString& row, TCharsetIndex& charsets) {
    UString name = ExtractField(row, FLangDelim, 0), component, path;
    if (IsDotted(type)) {
        SplitDotted(name, component, path);
        if (path.empty()) return;
    } else {
        component = name;
        path = SectionProperty(type);
    }
    if (InDoNotTranslate(component)) return;
    UString text = ActiveText(row);
    TComponent* target = Owner()->FindComponent(UnicodeToUtf8(component));
    if (!target) {
        if (component != OwnerClassName() && component != Utf8ToUnicode(Owner()->Name())) return;
        target = Owner();
    }
    const TPropInfo* prop = target->FindProperty(UnicodeToUtf8(path));
    if (!prop) return;

    if (type == stFonts) {
        // A font is changed in place; its holder needs no writer for that.
        TFont* font = FontOf(*target);
        if (!font) return;
        bool parentFont = ReadsTrue(*target, "ParentFont");
        if (!charsets.Built) {
            const TStringRows& rows = Section(stCharSets);
            for (size_t i = 0; i < rows.size(); ++i)
                charsets.Last[UpperAscii(ExtractField(rows[i], FLangDelim, 0))] = i;
            charsets.Built = true;
        }
        auto it = charsets.Last.find(UpperAscii(component));
        if (it != charsets.Last.end() && !parentFont) {
            auto charset = CharsetValue(
                ExtractField(Section(stCharSets)[it->second], FLangDelim, FActiveLanguage), true);
            if (charset) font->Charset = *charset;
        }
        if (!text.empty() && !parentFont) font->Name = text;
        return;
    }

    if (!prop->Get || !prop->Set || text.empty()) return;
    if (type == stMultiLines) {
        if (prop->Kind != TTypeKind::tkString || !IsStringListType(prop->TypeName)) return;
        const TPropInfo* wrap = target->FindProperty("WordWrap");
        bool canUnwrap =
            wrap && wrap->Kind == TTypeKind::tkBoolean && wrap->Set && ReadsTrue(*target, "WordWrap");
        bool unwrapped = false;
        try {
            if (ItemsToCommaText(TextToLines(prop->Get())) != text) {
                // Wrapped lines would be counted as lines of their own.
                if (canUnwrap) {
                    wrap->Set(u"False");
                    unwrapped = true;
                }
                prop->Set(LinesToText(CommaTextToItems(text)));
            }
        } catch (const std::exception&) {
            // The list keeps its lines.
        }
        if (unwrapped) {
            try {
                wrap->Set(u"True");
            } catch (const std::exception&) {
            }
        }
        return;
    }

    if (prop->Kind != TTypeKind::tkString) return;
    try {
        UString current = prop->Get();
        bool changed = (type == stDisplayLabels || type == stOtherStrings) && IsPathText(text)
                           ? ExpandFileName(text) != current
                           : current != text;
        if (changed) prop->Set(text);
    } catch (const std::exception&) {
        // A property that refuses the text keeps its own.
    }
}

bool TsiCustomLang::IsExcludedProperty(std::u16string_view componentName,
                                       std::u16string_view propertyPath) const {
    if (IndexOfText(ExcludedProperties, propertyPath) >= 0) return true;
    for (size_t p = 0; p <= propertyPath.size();) {
        size_t dot = std::min(propertyPath.find(u'.', p), propertyPath.size());
        if (IndexOfText(ExcludedProperties, propertyPath.substr(p, dot - p)) >= 0) return true;
        p = dot + 1;
    }
    UString path(propertyPath);
    if (InSmartExclude(UString(componentName) + u"." + path)) return true;
    if (SameText(propertyPath, u"Name")) return true;
    if (!Owner()) return false;
    const TComponent* c = Owner()->FindComponent(UnicodeToUtf8(componentName));
    if (!c && (componentName == OwnerClassName() || componentName == Utf8ToUnicode(Owner()->Name())))
        c = Owner();
    return c && InSmartExclude(u"!" + Utf8ToUnicode(c->ClassName()) + u"." + path);
}

void TsiCustomLang::DropExcludedRows() {
    bool cleared[kSectionListCount] = {};
    auto clearWhenExcluded = [&](std::u16string_view property, std::initializer_list<TStringsType> types) {
        if (IndexOfText(ExcludedProperties, property) < 0) return;
        for (TStringsType t : types) {
            Section(t).clear();
            cleared[static_cast<size_t>(t)] = true;
        }
    };
    clearWhenExcluded(u"Caption", {stCaptions});
    clearWhenExcluded(u"Hint", {stHints});
    clearWhenExcluded(u"DisplayLabel", {stDisplayLabels});
    clearWhenExcluded(u"Font", {stFonts, stCharSets});
    clearWhenExcluded(u"Charset", {stCharSets});
    for (TStringsType type : {stCaptions, stHints, stDisplayLabels, stFonts, stCharSets, stMultiLines,
                              stOtherStrings, stCollections}) {
        if (cleared[static_cast<size_t>(type)]) continue;
        std::erase_if(Section(type), [&](const UString& row) {
            UString name = ExtractField(row, FLangDelim, 0), component, path;
            if (type == stDisplayLabels || IsDotted(type)) {
                SplitDotted(name, component, path);
                if (type == stDisplayLabels && path.empty()) path = SectionProperty(type);
            } else {
                component = name;
                path = SectionProperty(type);
            }
            return IsExcludedProperty(component, path);
        });
    }
}

}  // namespace qr
