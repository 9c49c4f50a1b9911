#include <algorithm>

#include "app/lang/siLangInternal.h"

namespace qr {

TsiLangDispatcher::TsiLangDispatcher(TComponent* owner) : TComponent(owner) {
    PublishInteger(
        "ActiveLanguage", [this] { return FActiveLanguage; },
        [this](int64_t v) { SetActiveLanguage(CheckedInt(v)); });
    PublishInteger(
        "NumOfLanguages", [this] { return FNumOfLanguages; },
        [this](int64_t v) { SetNumOfLanguages(CheckedInt(v)); });
    PublishString(
        "LangNames", [this] { return LinesToText(FLangNames); },
        [this](const UString& v) { SetLangNames(TextToLines(v)); })
        .TypeName = "TStrings";
    PublishString(
        "Language", [this] { return FLanguage; }, [this](const UString& v) { SetLanguage(v); });
    PublishString(
        "FileName", [this] { return FileName; }, [this](const UString& v) { FileName = v; });
    PublishBoolean(
        "UseDefaultLanguage", [this] { return UseDefaultLanguage; },
        [this](bool v) { UseDefaultLanguage = v; });
    PublishInteger(
        "DefaultLanguage", [this] { return DefaultLanguage; },
        [this](int64_t v) { DefaultLanguage = CheckedInt(v); });
}

TsiLangDispatcher::~TsiLangDispatcher() {
    for (TsiCustomLang* lang : FLangs) lang->FLangDispatcher = nullptr;
    FLangs.clear();
}

void TsiLangDispatcher::SetActiveLanguage(int value) {
    if (value == FActiveLanguage) return;
    if (OnLanguageChanging) {
        bool allow = true;
        OnLanguageChanging(this, value, allow);
        if (!allow) return;
    }
    for (size_t i = 0; i < FLangs.size(); ++i) {
        TsiCustomLang* lang = FLangs[i];
        if (!lang->OnLanguageChanging) continue;
        bool allow = true;
        lang->OnLanguageChanging(lang, value, allow);
        if (!allow) return;
    }
    FActiveLanguage = value;
    // By index: a component's handlers may unlink components meanwhile.
    for (size_t i = 0; i < FLangs.size(); ++i) {
        TsiCustomLang* lang = FLangs[i];
        lang->SuppressChangingEvent = true;
        try {
            lang->SetActiveLanguage(value);
        } catch (...) {
            lang->SuppressChangingEvent = false;
            throw;
        }
        lang->SuppressChangingEvent = false;
    }
    if (!IsLoading() && value >= 1 && size_t(value) <= FLangNames.size())
        FLanguage = FLangNames[size_t(value) - 1];
    if (OnLanguageChanged) OnLanguageChanged(this);
}

void TsiLangDispatcher::SetNumOfLanguages(int value) {
    if (value < 1) throw ELanguageError(NumOfLanguagesError(value));
    FNumOfLanguages = value;
    ResizeLangNames(FLangNames, value);
    for (size_t i = 0; i < FLangs.size(); ++i) FLangs[i]->SetNumOfLanguages(value);
}

void TsiLangDispatcher::SetLangNames(std::vector<UString> names) { FLangNames = std::move(names); }

void TsiLangDispatcher::SetLanguage(const UString& name) {
    int index = IndexOfText(FLangNames, name);
    if (index < 0) {
        if (!FLangNames.empty()) throw ELanguageError(kLanguageNameError);
        FLanguage = name;
        return;
    }
    // While loading the language change leaves the name alone.
    if (IsLoading()) FLanguage = FLangNames[size_t(index)];
    SetActiveLanguage(index + 1);
}

void TsiLangDispatcher::LinkLanguage(TsiCustomLang* siLang) {
    if (!siLang || std::find(FLangs.begin(), FLangs.end(), siLang) != FLangs.end()) return;
    if (siLang->FLangDispatcher && siLang->FLangDispatcher != this)
        siLang->FLangDispatcher->UnlinkLanguage(siLang);
    FLangs.push_back(siLang);
    siLang->FLangDispatcher = this;
    FreeNotification(siLang);
    siLang->SetNumOfLanguages(FNumOfLanguages);
    siLang->SetLangNames(FLangNames);
    siLang->FLanguage = FLanguage;
    if (OnLinkToDispatcher) OnLinkToDispatcher(this, siLang);
    // No external translation file is supported, so the component simply
    // takes the dispatcher's language.
    siLang->SetActiveLanguage(FActiveLanguage);
}

void TsiLangDispatcher::UnlinkLanguage(TsiCustomLang* siLang) {
    auto it = std::find(FLangs.begin(), FLangs.end(), siLang);
    if (it == FLangs.end()) return;
    FLangs.erase(it);
    if (siLang->FLangDispatcher == this) siLang->FLangDispatcher = nullptr;
}

void TsiLangDispatcher::Notification(TComponent* component, TOperation operation) {
    TComponent::Notification(component, operation);
    // Only the pointer is compared: the component may be half destroyed.
    if (operation == TOperation::opRemove)
        FLangs.erase(std::remove(FLangs.begin(), FLangs.end(), component), FLangs.end());
}

}  // namespace qr
