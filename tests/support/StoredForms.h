#pragma once
// The assistants' form descriptions as the program stores them in its
// resources, embedded into the tests, which read them without a program.
#include <optional>
#include <string>
#include <string_view>

namespace qr {

// "TMECONTACTFORM", "TMEDETAILSFORM" or "TMESCRSHOTFORM" (any letter
// case); none for other names.
std::optional<std::string> StoredFormDescription(std::u16string_view resourceName);

}  // namespace qr
