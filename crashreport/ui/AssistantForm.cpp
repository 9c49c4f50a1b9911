#include "crashreport/ui/AssistantForm.h"

namespace qr {

namespace {

constexpr const char* kButtonNames[] = {"ContinueBtn", "SkipBtn", "CancelBtn"};
constexpr const char16_t* kButtonDefaults[] = {u"Next >", u"Skip", u"Cancel"};

template <class T>
void Register(TClassRegistry& classes, const char* name) {
    classes.Register(name, [](TComponent* owner) -> TComponent* { return new T(owner); });
}

}  // namespace

TNVForm::TNVForm() : TComponent(nullptr) {
    PublishString(
        "Message", [this] { return Message; }, [this](const UString& v) { Message = v; });
    PublishInteger(
        "MinWidth", [this] { return MinWidth; }, [this](int64_t v) { MinWidth = int(v); });
    PublishString(
        "ActiveControl", [this] { return ActiveControl; }, [this](const UString& v) { ActiveControl = v; });
    PublishString(
        "OnAction", [this] { return OnAction; }, [this](const UString& v) { OnAction = v; });
    PublishInteger(
        "Timer", [this] { return Timer; }, [this](int64_t v) { Timer = int(v); });
}

void TNVForm::Loaded() {
    TComponent::Loaded();
    // A button the description leaves without a caption gets the usual one.
    for (int i = 0; i < 3; ++i)
        if (auto* button = dynamic_cast<TNVButton*>(FindItem(kButtonNames[i]));
            button && button->Caption.empty())
            button->Caption = kButtonDefaults[i];
}

std::vector<TNVItem*> TNVForm::Items() const {
    std::vector<TNVItem*> items;
    for (int i = 0; i < ComponentCount(); ++i)
        if (auto* item = dynamic_cast<TNVItem*>(Components(i))) items.push_back(item);
    return items;
}

TNVItem* TNVForm::FindItem(std::string_view name) const {
    return dynamic_cast<TNVItem*>(FindComponent(name));
}

TNVFormData TNVForm::Data(int result) const {
    TNVFormData data{Utf8ToUnicode(Name()), result, {}, {}};
    for (TNVItem* item : Items()) {
        if (auto* edit = dynamic_cast<TNVEdit*>(item))
            data.Edits.push_back({Utf8ToUnicode(edit->Name()), edit->Text, edit->Lines, edit->Optional,
                                  edit->Valid, edit->OutputName, edit->OutputType});
        else if (auto* check = dynamic_cast<TNVCheckBox*>(item))
            data.CheckBoxes.push_back({Utf8ToUnicode(check->Name()), check->Checked, check->OutputName});
    }
    return data;
}

TClassRegistry AssistantFormClasses() {
    TClassRegistry classes;
    Register<TNVButton>(classes, "TNVButton");
    Register<TNVLabel>(classes, "TNVLabel");
    Register<TNVEdit>(classes, "TNVEdit");
    Register<TNVCheckBox>(classes, "TNVCheckBox");
    Register<TNVImage>(classes, "TNVImage");
    return classes;
}

std::unique_ptr<TNVForm> ReadAssistantForm(std::string_view description) {
    TFormNode node = ParseFormText(description);
    if (node.ClassName != "TNVForm")
        throw EAssistantFormError("Class " + node.ClassName + " is no assistant form");
    auto form = std::make_unique<TNVForm>();
    form->SetName(node.Name);
    ReadComponents(*form, node, AssistantFormClasses());
    std::vector<TNVItem*> items = form->Items();
    for (int i = 0; i < 3; ++i)
        if (items.size() <= size_t(i) || !dynamic_cast<TNVButton*>(items[size_t(i)]) ||
            items[size_t(i)]->Name() != kButtonNames[i])
            throw EAssistantFormError("Form " + node.Name + " must begin with " + kButtonNames[i]);
    return form;
}

}  // namespace qr
