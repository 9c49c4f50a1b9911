#include "crashreport/ui/ContactFormHandler_win32.h"

#include "crashreport/ui/ContactAddress.h"
#include "crashreport/ui/ContactMemory_win32.h"

namespace qr {

TNVActionHandler ContactFormHandler(std::function<void(const UString& mailFrom)> setMailFrom) {
    return [setMailFrom](TNVFormWindow& window, TNVAction action, TNVItem* item) {
        TNVForm& form = window.Form();
        auto* name = dynamic_cast<TNVEdit*>(form.FindItem("NameEdit"));
        auto* email = dynamic_cast<TNVEdit*>(form.FindItem("EmailEdit"));
        auto* remember = dynamic_cast<TNVCheckBox*>(form.FindItem("MemCheck"));
        if (!name || !email) return;
        switch (action) {
            case nvaFormCreated:
                if (std::optional<TRememberedContact> contact = ReadRememberedContact()) {
                    name->Text = contact->Name;
                    email->Text = contact->Email;
                    if (remember) remember->Checked = true;
                    // The window gives "Continue" the focus only while it is enabled.
                    form.ActiveControl = u"ContinueBtn";
                }
                email->Valid = IsValidMailAddress(email->Text);
                break;
            case nvaItemEvent:
                if (item == email) email->Valid = IsValidMailAddress(window.CurrentText(*email));
                break;
            case nvaFormClosed:
                if (window.ModalResult() != nvmContinue) break;
                if (remember && remember->Checked)
                    StoreRememberedContact({name->Text, email->Text});
                else
                    ForgetRememberedContact();
                if (std::optional<UString> from = MailFrom(name->Text, email->Text); from && setMailFrom)
                    setMailFrom(*from);
                break;
            default:
                break;
        }
    };
}

}  // namespace qr
