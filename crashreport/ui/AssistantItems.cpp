#include "crashreport/ui/AssistantItems.h"

namespace qr {

namespace {

UString OutputTypeName(TNVOutputType type) {
    return type == TNVOutputType::nvoOwnSection ? u"nvoOwnSection" : u"nvoHeaderField";
}

}  // namespace

TNVItem::TNVItem(TComponent* owner) : TComponent(owner) {
    PublishBoolean(
        "Enabled", [this] { return Enabled; }, [this](bool v) { Enabled = v; });
}

void TNVItem::PublishSpacing() {
    PublishInteger(
        "Spacing", [this] { return Spacing; }, [this](int64_t v) { Spacing = int(v); });
}

TNVButton::TNVButton(TComponent* owner) : TNVItem(owner) {
    PublishString(
        "Caption", [this] { return Caption; }, [this](const UString& v) { Caption = v; });
    PublishBoolean(
        "Visible", [this] { return Visible; }, [this](bool v) { Visible = v; });
    PublishBoolean(
        "NoOwnerDraw", [this] { return NoOwnerDraw; }, [this](bool v) { NoOwnerDraw = v; });
}

TNVLabel::TNVLabel(TComponent* owner) : TNVItem(owner) {
    PublishString(
        "Caption", [this] { return Caption; }, [this](const UString& v) { Caption = v; });
    PublishSpacing();
}

TNVEdit::TNVEdit(TComponent* owner) : TNVItem(owner) {
    PublishString(
        "Text", [this] { return Text; }, [this](const UString& v) { Text = v; });
    PublishInteger(
        "Lines", [this] { return Lines; }, [this](int64_t v) { Lines = int(v); });
    PublishBoolean(
        "Optional", [this] { return Optional; }, [this](bool v) { Optional = v; });
    PublishBoolean(
        "Valid", [this] { return Valid; }, [this](bool v) { Valid = v; });
    PublishBoolean(
        "Colored", [this] { return Colored; }, [this](bool v) { Colored = v; });
    PublishString(
        "OutputName", [this] { return OutputName; }, [this](const UString& v) { OutputName = v; });
    PublishString(
        "OutputType", [this] { return OutputTypeName(OutputType); },
        [this](const UString& v) {
            if (v == u"nvoHeaderField")
                OutputType = TNVOutputType::nvoHeaderField;
            else if (v == u"nvoOwnSection")
                OutputType = TNVOutputType::nvoOwnSection;
            else
                throw EPropertyError("Invalid property value: " + UnicodeToUtf8(v));
        });
    PublishSpacing();
}

TNVCheckBox::TNVCheckBox(TComponent* owner) : TNVItem(owner) {
    PublishString(
        "Caption", [this] { return Caption; }, [this](const UString& v) { Caption = v; });
    PublishBoolean(
        "Checked", [this] { return Checked; }, [this](bool v) { Checked = v; });
    PublishString(
        "OutputName", [this] { return OutputName; }, [this](const UString& v) { OutputName = v; });
    PublishSpacing();
}

TNVImage::TNVImage(TComponent* owner) : TNVItem(owner) {
    PublishString(
        "File", [this] { return File; }, [this](const UString& v) { File = v; });
    PublishInteger(
        "Width", [this] { return Width; }, [this](int64_t v) { Width = int(v); });
    PublishInteger(
        "Height", [this] { return Height; }, [this](int64_t v) { Height = int(v); });
    PublishBoolean(
        "Border", [this] { return Border; }, [this](bool v) { Border = v; });
    PublishBoolean(
        "Clickable", [this] { return Clickable; }, [this](bool v) { Clickable = v; });
    PublishSpacing();
}

}  // namespace qr
