#pragma once
// The classes the main window's stored description may name.
#include "base/FormReader.h"

namespace qr {

TClassRegistry MainFormClasses();

// The stored description as built into the program.
std::string LoadMainFormDescription();

}  // namespace qr
