#pragma once
// The class name and message a processor or system exception gets in the
// report when no exception object exists for it.
#include <cstdint>

#include "base/Text.h"

namespace qr {

struct TSystemFailure {
    uint32_t Code = 0;
    uint64_t Address = 0;       // where it happened
    AnsiString ModuleFileName;  // the module holding Address; empty when none
    bool HasAccessInfo = false;
    bool Write = false;  // access violations: a write (else a read)
    uint64_t AccessAddress = 0;
    int AddressDigits = 8;  // 16 in the 64-bit program
};

struct TFailureText {
    AnsiString ClassName;
    AnsiString Message;
};

TFailureText SystemFailureText(const TSystemFailure& failure);

// "Runtime error" when the runtime gave no text of its own.
TFailureText RuntimeErrorText(const char* text);

}  // namespace qr
