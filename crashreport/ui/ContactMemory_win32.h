#pragma once
// The contact data the contact form remembers on request: the values
// "RememberName" and "RememberEmail" under the current user's key
// "Software\Harnwick\ContactForm".
#include <optional>

#include "base/Text.h"

namespace qr {

struct TRememberedContact {
    UString Name, Email;
};

// Present when either value exists.
std::optional<TRememberedContact> ReadRememberedContact();
void StoreRememberedContact(const TRememberedContact& contact);
// Deletes both values.
void ForgetRememberedContact();

}  // namespace qr
