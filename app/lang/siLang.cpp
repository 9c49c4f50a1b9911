#include <algorithm>

#include "app/lang/siLangInternal.h"

namespace qr {

namespace {

std::vector<UString> DefaultExcludedProperties() {
    return {u"Category",
            u"SecondaryShortCuts",
            u"HelpKeyword",
            u"InitialDir",
            u"HelpKeyword",
            u"ActivePage",
            u"ImeName",
            u"DefaultExt",
            u"FileName",
            u"FieldName",
            u"PickList",
            u"DisplayFormat",
            u"EditMask",
            u"KeyList",
            u"LookupDisplayFields",
            u"DropDownSpecRow",
            u"TableName",
            u"DatabaseName",
            u"IndexName",
            u"MasterFields"};
}

}  // namespace

TsiCustomLang::TsiCustomLang(TComponent* owner)
    : TComponent(owner), ExcludedProperties(DefaultExcludedProperties()) {
    // The translation pass identifies the form by its single table.
    if (owner) {
        for (int i = 0; i < owner->ComponentCount(); ++i) {
            TComponent* other = owner->Components(i);
            if (other != this && dynamic_cast<TsiCustomLang*>(other))
                throw ELanguageError("Only one TsiCustomLang component per Form/DataModule allowed!");
        }
    }
    PublishProperties();
}

TsiCustomLang::~TsiCustomLang() {
    if (FLangDispatcher) FLangDispatcher->UnlinkLanguage(this);
}

void TsiCustomLang::PublishProperties() {
    auto publishList = [this](std::string name, std::vector<UString>& list) {
        PublishString(
            std::move(name), [&list] { return LinesToText(list); },
            [&list](const UString& v) { list = TextToLines(v); })
            .TypeName = "TStrings";
    };
    PublishString(
        "Version", [this] { return Version; }, [this](const UString& v) { Version = v; });
    PublishInteger(
        "NumOfLanguages", [this] { return FNumOfLanguages; },
        [this](int64_t v) { SetNumOfLanguages(CheckedInt(v)); });
    PublishInteger(
        "ActiveLanguage", [this] { return FActiveLanguage; },
        [this](int64_t v) { SetActiveLanguage(CheckedInt(v)); });
    PublishReference<TsiLangDispatcher>(
        "LangDispatcher", "TsiLangDispatcher", [this] { return FLangDispatcher; },
        [this](TsiLangDispatcher* d) { SetLangDispatcher(d); });
    PublishInteger(
        "LangDelim", [this] { return FLangDelim; }, [this](int64_t v) { SetLangDelim(CheckedInt(v)); });
    PublishString(
        "LangNames", [this] { return LinesToText(FLangNames); },
        [this](const UString& v) { SetLangNames(TextToLines(v)); })
        .TypeName = "TStrings";
    PublishString(
        "Language", [this] { return FLanguage; }, [this](const UString& v) { SetLanguage(v); });
    publishList("ExcludedProperties", ExcludedProperties);
    publishList("SmartExcludeProps", SmartExcludeProps);
    publishList("DoNotTranslate", DoNotTranslate);
    PublishString(
        "TranslateType",
        [this] {
            return UString(TranslateType == TTranslateType::ttGetDefault ? u"ttGetDefault" : u"ttNoChange");
        },
        [this](const UString& v) {
            if (SameText(v, u"ttNoChange"))
                TranslateType = TTranslateType::ttNoChange;
            else if (SameText(v, u"ttGetDefault"))
                TranslateType = TTranslateType::ttGetDefault;
            else
                throw EPropertyError("Invalid property value: " + UnicodeToUtf8(v));
        })
        .TypeName = "TTranslateType";
    PublishBoolean(
        "UseDefaultLanguage", [this] { return UseDefaultLanguage; },
        [this](bool v) { UseDefaultLanguage = v; });
    PublishInteger(
        "DefaultLanguage", [this] { return DefaultLanguage; },
        [this](int64_t v) { DefaultLanguage = CheckedInt(v); });
    PublishBoolean(
        "AutoSkipEmpties", [this] { return AutoSkipEmpties; }, [this](bool v) { AutoSkipEmpties = v; });
    PublishBoolean(
        "ChangeLocales", [this] { return ChangeLocales; }, [this](bool v) { ChangeLocales = v; });
    PublishBoolean(
        "IsInheritedOwner", [this] { return IsInheritedOwner; }, [this](bool v) { IsInheritedOwner = v; });
    PublishInteger(
        "ChangingCursor", [this] { return ChangingCursor; },
        [this](int64_t v) { ChangingCursor = CheckedInt(v); });
    TPropInfo data;
    data.Name = "TranslationData";
    data.Kind = TTypeKind::tkBinary;
    data.TypeName = "TBinaryData";
    data.SetBinary = [this](const std::string& bytes) { ReadTranslationData(bytes); };
    Publish(std::move(data));
}

TStringRows& TsiCustomLang::Section(TStringsType type) {
    if (type == TStringsType::stListView_TreeView_Items) throw EListError("The section has no list");
    return FLists[static_cast<size_t>(type)];
}

const TStringRows& TsiCustomLang::Section(TStringsType type) const {
    return const_cast<TsiCustomLang*>(this)->Section(type);
}

UString TsiCustomLang::OwnerClassName() const {
    return Owner() ? Utf8ToUnicode(Owner()->ClassName()) : UString();
}

void TsiCustomLang::ReadTranslationData(std::string_view bytes) {
    // Tables without "_Unicode" headers came from older versions; their
    // conversion is not supported, their rows are kept as they are.
    ReadTranslationText(DecodeTranslationData(bytes), OwnerClassName(), FLangDelim, FLists);
}

void TsiCustomLang::SetActiveLanguage(int value) {
    if (value == FActiveLanguage) return;
    if (value < 1 || value > FNumOfLanguages) {
        if (IsLoading()) return;
        std::string range = " - is not a valid property value!\rValue must be within [1.." +
                            std::to_string(FNumOfLanguages) + "]!";
        if (Owner())
            throw ELanguageError(std::string(Owner()->ClassName()) + ": " + std::to_string(value) + range);
        throw ELanguageError(std::to_string(value) + range);
    }
    if (!IsLoading() && !SuppressChangingEvent && OnLanguageChanging) {
        bool allow = true;
        OnLanguageChanging(this, value, allow);
        if (!allow) return;
    }
    FActiveLanguage = value;
    if (IsLoading()) return;
    if (size_t(value) <= FLangNames.size()) FLanguage = FLangNames[size_t(value) - 1];
    ApplyActiveLanguage();
}

void TsiCustomLang::SetNumOfLanguages(int value) {
    if (value < 1) throw ELanguageError(NumOfLanguagesError(value));
    FNumOfLanguages = value;
    ResizeLangNames(FLangNames, value);
}

void TsiCustomLang::SetLangNames(std::vector<UString> names) { FLangNames = std::move(names); }

void TsiCustomLang::SetLanguage(const UString& name) {
    int index = IndexOfText(FLangNames, name);
    if (index < 0) {
        if (!IsLoading()) throw ELanguageError(kLanguageNameError);
        FLangNames.push_back(name);
        index = int(FLangNames.size()) - 1;
    }
    if (IsLoading()) FLanguage = FLangNames[size_t(index)];
    SetActiveLanguage(index + 1);
}

void TsiCustomLang::SetLangDispatcher(TsiLangDispatcher* dispatcher) {
    if (dispatcher == FLangDispatcher) return;
    if (FLangDispatcher) FLangDispatcher->UnlinkLanguage(this);
    FLangDispatcher = dispatcher;
    if (!dispatcher) return;
    FreeNotification(dispatcher);
    if (IsLoading()) {
        // Linked at load completion; the column count is known already.
        SetNumOfLanguages(dispatcher->NumOfLanguages());
        DefaultLanguage = dispatcher->DefaultLanguage;
        UseDefaultLanguage = dispatcher->UseDefaultLanguage;
    } else {
        dispatcher->LinkLanguage(this);
    }
}

void TsiCustomLang::SetLangDelim(int value) {
    if (value < 1 || value > 0xFFFF)
        throw EPropertyError(std::to_string(value) + " is not a valid delimiter");
    FLangDelim = char16_t(value);
}

void TsiCustomLang::Loaded() {
    TComponent::Loaded();
    if (FLangDelim == u'\t') {
        for (TStringRows& list : FLists)
            for (UString& row : list) std::replace(row.begin(), row.end(), u'\t', u'\x01');
        FLangDelim = 1;
    }
    DropExcludedRows();
    if (FLangDispatcher) FLangDispatcher->LinkLanguage(this);
}

void TsiCustomLang::Notification(TComponent* component, TOperation operation) {
    TComponent::Notification(component, operation);
    if (operation == TOperation::opRemove && component == FLangDispatcher) FLangDispatcher = nullptr;
}

void RegisterLanguageClasses(TClassRegistry& classes) {
    classes.Register("TsiLangDispatcher", [](TComponent* owner) { return new TsiLangDispatcher(owner); });
    classes.Register("TsiLang", [](TComponent* owner) { return new TsiLang(owner); });
}

}  // namespace qr
