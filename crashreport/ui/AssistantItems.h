#pragma once
// The items an assistant form is made of, as its stored description sets
// them up. The windows that show them read these values.
#include "base/Component.h"
#include "crashreport/ui/AssistantData.h"

namespace qr {

class TNVItem : public TComponent {
public:
    explicit TNVItem(TComponent* owner);
    const char* ClassName() const override { return "TNVItem"; }
    bool Enabled = true;
    int Spacing = 0;

protected:
    // Buttons stand in their own row and have no spacing.
    void PublishSpacing();
};

class TNVButton : public TNVItem {
public:
    explicit TNVButton(TComponent* owner);
    const char* ClassName() const override { return "TNVButton"; }
    UString Caption;
    bool Visible = true;
    bool NoOwnerDraw = false;
};

class TNVLabel : public TNVItem {
public:
    explicit TNVLabel(TComponent* owner);
    const char* ClassName() const override { return "TNVLabel"; }
    UString Caption;
};

class TNVEdit : public TNVItem {
public:
    explicit TNVEdit(TComponent* owner);
    const char* ClassName() const override { return "TNVEdit"; }
    UString Text;
    int Lines = 1;
    bool Optional = false;
    bool Valid = true;
    bool Colored = false;
    UString OutputName;
    TNVOutputType OutputType = TNVOutputType::nvoHeaderField;
};

class TNVCheckBox : public TNVItem {
public:
    explicit TNVCheckBox(TComponent* owner);
    const char* ClassName() const override { return "TNVCheckBox"; }
    UString Caption;
    bool Checked = false;
    UString OutputName;
};

class TNVImage : public TNVItem {
public:
    explicit TNVImage(TComponent* owner);
    const char* ClassName() const override { return "TNVImage"; }
    UString File;
    int Width = 0;
    int Height = 0;
    bool Border = false;
    bool Clickable = false;
};

}  // namespace qr
