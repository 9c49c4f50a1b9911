#pragma once
// How threads are named in the report's section names.
#include <cstdint>

#include "base/Text.h"

namespace qr {

struct TThreadEntry {
    uint32_t Id = 0;
    AnsiString Name;         // may be empty
    AnsiString ClassName;    // class of the thread object; may be empty
    uint32_t CreatorId = 0;  // 0: not created through the crash reporter's hooks
    uint64_t CreatedAt = 0;  // the return address of the creating call
};

// The crash reporter's own threads, left out of reports.
bool IsOwnThreadName(std::string_view name);

// "main thread ($1a4)" or "thread $1a4 (TIdThread)"; empty for threads
// that are left out (named "-" or one of the crash reporter's own), unless
// it is the failing thread.
AnsiString ThreadDescription(const TThreadEntry& entry, bool failing);

// The description, ":", then " <suspended>" and " <priority:N>" when they
// apply (priority 0 is normal).
AnsiString ThreadSectionName(const AnsiString& description, bool suspended, int priority);

}  // namespace qr
