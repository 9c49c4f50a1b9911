#include "crashreport/ui/AssistantData.h"

namespace qr {

bool ContinueAllowed(const std::vector<TNVEditData>& edits) {
    for (const TNVEditData& edit : edits)
        if (!edit.Optional && (edit.Text.empty() || !edit.Valid)) return false;
    return true;
}

void PutAssistantIntoReport(const std::vector<TNVFormData>& forms, TIMEFields& header, TIMEFields& sections) {
    for (const TNVFormData& form : forms) {
        if (form.Result != nvmContinue) continue;
        for (const TNVEditData& edit : form.Edits) {
            if (edit.OutputName.empty() || edit.Text.empty()) continue;
            AnsiString name = UnicodeToAnsi(edit.OutputName), value = UnicodeToAnsi(edit.Text);
            // A one-line edit has no room for a section's lines.
            if (edit.OutputType == TNVOutputType::nvoOwnSection && edit.Lines > 1)
                sections.Set(name, value);
            else
                header.Set(name, value);
        }
        for (const TNVCheckBoxData& check : form.CheckBoxes)
            if (!check.OutputName.empty())
                header.Set(UnicodeToAnsi(check.OutputName), check.Checked ? "yes" : "no");
    }
}

}  // namespace qr
