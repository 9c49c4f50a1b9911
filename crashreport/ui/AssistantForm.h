#pragma once
// One assistant form (`TNVForm`) as read from its stored description:
// headline, action handler name, timer, and its items in order, the three
// buttons "ContinueBtn", "SkipBtn", "CancelBtn" first.
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/Component.h"
#include "base/FormReader.h"
#include "crashreport/ui/AssistantData.h"
#include "crashreport/ui/AssistantItems.h"

namespace qr {

QR_DECLARE_EXCEPTION(EAssistantFormError, Exception);

class TNVForm : public TComponent {
public:
    TNVForm();
    const char* ClassName() const override { return "TNVForm"; }
    void Loaded() override;

    UString Title;  // the assistant's title, not stored with the form
    UString Message;
    int MinWidth = 0;
    UString ActiveControl;
    UString OnAction;
    int Timer = 0;  // milliseconds; 0: no timer
    int Step = 0, StepCount = 0;

    std::vector<TNVItem*> Items() const;
    // Null when no item has that name (any letter case).
    TNVItem* FindItem(std::string_view name) const;
    // The values the report takes from this form when it ended with `result`.
    TNVFormData Data(int result) const;
};

// The classes a stored form may hold.
TClassRegistry AssistantFormClasses();

// Raises EReadError for a malformed description and EAssistantFormError
// when the three buttons do not come first.
std::unique_ptr<TNVForm> ReadAssistantForm(std::string_view description);

}  // namespace qr
