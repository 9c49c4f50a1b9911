#pragma once
// A failure's processor context as the report needs it.
#include <windows.h>

#include "crashreport/report/ReportBuilder.h"

namespace qr {

// The registers in report order (x86: eax..ebp; x86-64: rax..rbp, r8..r15),
// the stack pointer, and the context flag.
void SetFailureContext(TFailure& failure, const CONTEXT& context);

}  // namespace qr
