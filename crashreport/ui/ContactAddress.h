#pragma once
// The contact form's checks on what the user typed.
#include <optional>
#include <string_view>

#include "base/Text.h"

namespace qr {

// A plain mail address: one "@" not at the start, a "." somewhere after it
// but not right after it, no "." at either end, no blanks around it, and
// only letters A-Z / a-z, digits and "'", "+", "-", "_", ".".
bool IsValidMailAddress(std::u16string_view address);

// The sender as the mail program shows it: name " <" address ">". Without
// a name the failure's sender is left as it is, hence no value.
std::optional<UString> MailFrom(std::u16string_view name, std::u16string_view address);

}  // namespace qr
