#pragma once
// A failure's processor context as the report needs it.
#include <windows.h>

#include "crashreport/report/ReportBuilder.h"

namespace qr {

// The registers in report order (x86: eax..ebp; x86-64: rax..rbp, r8..r15),
// the stack pointer, the context flag, and the whole record for the stack
// walk (the failing thread's stack must still stand when the walk runs).
void SetFailureContext(TFailure& failure, const CONTEXT& context);

}  // namespace qr
