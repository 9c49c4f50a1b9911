#pragma once
// The contact form's action handler: pre-fills remembered contact data,
// checks the address as it is typed, remembers or forgets the data and
// hands the sender ("name <address>") on when the form is continued.
#include <functional>

#include "crashreport/ui/Assistant_win32.h"

namespace qr {

TNVActionHandler ContactFormHandler(std::function<void(const UString& mailFrom)> setMailFrom);

}  // namespace qr
