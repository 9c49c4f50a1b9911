#pragma once
// The reading end of a mailslot, as the presentation program owns it.
// Windows: CreateMailslotW; POSIX: the bound datagram socket that the
// writer's POSIX transport sends to.
#include <memory>
#include <optional>
#include <string>

#include "base/Text.h"

namespace qr {

class TMailSlotReader {
public:
    virtual ~TMailSlotReader() = default;
    // The next message, or nothing when none came within `timeoutMs`.
    virtual std::optional<std::string> Receive(int timeoutMs) = 0;
};

// Creates the mailslot "\\.\mailslot\<name>"; raises qr::Exception when it
// exists already or cannot be created.
std::unique_ptr<TMailSlotReader> CreateMailSlotReader(const UString& name);

}  // namespace qr
