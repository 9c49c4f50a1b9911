#pragma once
// The window's localization: a dispatcher that holds the active language of
// the program, and one translation component per form that carries the
// form's text table (a row per translated text, a column per language) and
// writes the active language's texts into the form's components.
#include <array>
#include <functional>
#include <string_view>
#include <vector>

#include "base/Component.h"
#include "base/FormReader.h"

namespace qr {

QR_DECLARE_EXCEPTION(ELanguageError, Exception);

class TsiCustomLang;
class TsiLangDispatcher;
struct TCharsetIndex;

using TNotifyEvent = std::function<void(TComponent* sender)>;
using TLanguageChangingEvent = std::function<void(TComponent* sender, int newLanguage, bool& allowChange)>;
using TLinkToDispatcherEvent = std::function<void(TComponent* sender, TsiCustomLang* siLang)>;

// The sections of a translation table, in stored order. Every one but the
// last has a list of rows.
enum class TStringsType {
    stCaptions,
    stHints,
    stDisplayLabels,
    stFonts,
    stMultiLines,
    stDlgsCaptions,
    stStrings,
    stOtherStrings,
    stLocales,
    stCollections,
    stCharSets,
    stListView_TreeView_Items
};
inline constexpr int kSectionListCount = 11;
// "stCaptions" ... "stListView_TreeView_Items".
std::u16string_view StringsTypeName(TStringsType type);

enum class TTranslateType { ttNoChange, ttGetDefault };

using TStringRows = std::vector<UString>;
using TSectionLists = std::array<TStringRows, kSectionListCount>;

// ---- Table text -----------------------------------------------------------

// The stored table's bytes as text: fewer than 2 bytes are empty; a second
// byte other than 0 means 8-bit text in the system ANSI code page;
// otherwise UTF-16LE (an odd last byte is ignored).
UString DecodeTranslationData(std::string_view bytes);

// Reads the table text into `lists`: lines split at CR LF, section headers
// (type names, "_Unicode" suffix optional, any letter case) clear their
// list, rows get 0x19/0x1A turned into CR/LF, and rows that begin with
// `ownerClassName` and the delimiter go to the top of their list. Lists of
// sections the text does not name keep their rows. Returns whether any
// header carried the "_Unicode" suffix. Linear in the text's length.
bool ReadTranslationText(std::u16string_view text, std::u16string_view ownerClassName, char16_t delim,
                         TSectionLists& lists);

// The text between the index-th and the (index+1)-th delimiter (index 0:
// before the first); empty when the row has fewer than index+1 delimiters.
UString ExtractField(std::u16string_view row, char16_t delim, int index);

// String list comma text: items separated by commas or blanks, an item in
// double quotes may hold both, "" inside quotes is one quote.
std::vector<UString> CommaTextToItems(std::u16string_view text);
UString ItemsToCommaText(const std::vector<UString>& items);

// A string list's text form: lines split at CR LF, CR or LF (a final line
// break adds no empty line); joined with CR LF between lines.
std::vector<UString> TextToLines(std::u16string_view text);
UString LinesToText(const std::vector<UString>& lines);

// ---- Components -----------------------------------------------------------

// Holds the program's active language and passes changes to every linked
// translation component, in link order.
class TsiLangDispatcher : public TComponent {
public:
    explicit TsiLangDispatcher(TComponent* owner);
    ~TsiLangDispatcher() override;
    const char* ClassName() const override { return "TsiLangDispatcher"; }

    int ActiveLanguage() const { return FActiveLanguage; }
    void SetActiveLanguage(int value);
    int NumOfLanguages() const { return FNumOfLanguages; }
    void SetNumOfLanguages(int value);
    const std::vector<UString>& LangNames() const { return FLangNames; }
    void SetLangNames(std::vector<UString> names);
    const UString& Language() const { return FLanguage; }
    // Makes the named language (its 1-based position in LangNames) active.
    void SetLanguage(const UString& name);

    UString FileName;
    bool UseDefaultLanguage = false;
    int DefaultLanguage = 1;
    TLinkToDispatcherEvent OnLinkToDispatcher;
    TLanguageChangingEvent OnLanguageChanging;
    TNotifyEvent OnLanguageChanged;

    void LinkLanguage(TsiCustomLang* siLang);
    void UnlinkLanguage(TsiCustomLang* siLang);
    const std::vector<TsiCustomLang*>& LinkedLanguages() const { return FLangs; }

    void Notification(TComponent* component, TOperation operation) override;

private:
    int FActiveLanguage = 1;
    int FNumOfLanguages = 1;
    std::vector<UString> FLangNames{u"Language N1"};
    UString FLanguage = u"Language N1";
    std::vector<TsiCustomLang*> FLangs;
};

// The translation table of one form and the pass that writes its texts.
// A form owns at most one.
class TsiCustomLang : public TComponent {
public:
    explicit TsiCustomLang(TComponent* owner);
    ~TsiCustomLang() override;
    const char* ClassName() const override { return "TsiCustomLang"; }

    int ActiveLanguage() const { return FActiveLanguage; }
    void SetActiveLanguage(int value);
    int NumOfLanguages() const { return FNumOfLanguages; }
    void SetNumOfLanguages(int value);
    const std::vector<UString>& LangNames() const { return FLangNames; }
    void SetLangNames(std::vector<UString> names);
    const UString& Language() const { return FLanguage; }
    void SetLanguage(const UString& name);
    TsiLangDispatcher* LangDispatcher() const { return FLangDispatcher; }
    void SetLangDispatcher(TsiLangDispatcher* dispatcher);
    char16_t LangDelim() const { return FLangDelim; }
    void SetLangDelim(int value);

    UString Version = u"6.4";
    std::vector<UString> ExcludedProperties;
    std::vector<UString> SmartExcludeProps;
    std::vector<UString> DoNotTranslate;
    TTranslateType TranslateType = TTranslateType::ttNoChange;
    bool UseDefaultLanguage = false;
    int DefaultLanguage = 1;
    bool AutoSkipEmpties = true;
    bool ChangeLocales = false;
    bool IsInheritedOwner = false;
    int ChangingCursor = -1;
    // Set by the dispatcher while it changes the language.
    bool SuppressChangingEvent = false;
    TNotifyEvent OnChangeLanguage;
    TLanguageChangingEvent OnLanguageChanging;

    // Section lists (none for stListView_TreeView_Items).
    TStringRows& Section(TStringsType type);
    const TStringRows& Section(TStringsType type) const;
    TStringRows& Captions() { return Section(TStringsType::stCaptions); }
    TStringRows& Hints() { return Section(TStringsType::stHints); }
    TStringRows& Fonts() { return Section(TStringsType::stFonts); }
    TStringRows& MultiLines() { return Section(TStringsType::stMultiLines); }
    TStringRows& DlgsCaptions() { return Section(TStringsType::stDlgsCaptions); }
    TStringRows& CharSets() { return Section(TStringsType::stCharSets); }
    // Rows naming components the owner does not have.
    const TStringRows& NotFoundRows() const { return FNotFound; }

    // Fills the section lists from the stored table bytes.
    void ReadTranslationData(std::string_view bytes);

    // The row's text for the active language, with the configured fallbacks.
    UString ActiveText(std::u16string_view row) const;
    // Writes the active language's texts into the owner and its components.
    virtual void ApplyActiveLanguage();
    void ApplySection(TStringsType type);
    void PruneSection(TStringsType type);
    bool IsExcludedProperty(std::u16string_view componentName, std::u16string_view propertyPath) const;
    void DropExcludedRows();

    void Loaded() override;
    void Notification(TComponent* component, TOperation operation) override;

private:
    friend class TsiLangDispatcher;
    void PublishProperties();
    UString OwnerClassName() const;
    bool InDoNotTranslate(std::u16string_view name) const;
    bool InSmartExclude(std::u16string_view entry) const;
    void ApplyOwnerText(TStringsType type, const char* property);
    void ApplyOwnerFont();
    void ApplyRow(TStringsType type, const UString& row, TCharsetIndex& charsets);

    int FActiveLanguage = 1;
    int FNumOfLanguages = 1;
    std::vector<UString> FLangNames{u"Language N1"};
    UString FLanguage = u"Language N1";
    TsiLangDispatcher* FLangDispatcher = nullptr;
    char16_t FLangDelim = 1;
    TSectionLists FLists;
    TStringRows FNotFound;
};

class TsiLang : public TsiCustomLang {
public:
    using TsiCustomLang::TsiCustomLang;
    const char* ClassName() const override { return "TsiLang"; }
};

// Makes "TsiLangDispatcher" and "TsiLang" known to the form reader.
void RegisterLanguageClasses(TClassRegistry& classes);

}  // namespace qr
