#pragma once
// The loaded module of this process that contains an address.
#include <cstdint>
#include <optional>

#include "crashreport/stack/CodeNamer.h"

namespace qr {

std::optional<TModuleImage> LoadedModuleAt(uint64_t address);

}  // namespace qr
