#pragma once
// Names of the crash reporter's per-process kernel objects.
#include <cstdint>
#include <string_view>

#include "base/Text.h"

namespace qr {

// The base name, "$" and the process id in lower-case hexadecimal without
// leading zeros: "TobriskSettingsBuf2$1a4".
UString ProcessObjectName(std::u16string_view baseName, uint32_t processId);

}  // namespace qr
