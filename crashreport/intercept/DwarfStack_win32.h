#pragma once
// x86: the call stack and registers of a running function, from the DWARF
// unwind rows (.eh_frame) that this tool chain's exception handling uses.
// The system's RtlCaptureStackBackTrace follows the EBP chain, and the
// code keeps no frame pointers: it returns junk there. Wine's
// RtlCaptureContext likewise takes the registers from the caller's EBP
// frame, so it names some outer function's.
#include <windows.h>

namespace qr {

#if !defined(__x86_64__)
// Return addresses outward from the caller of this function, leaving out
// the first `skip` (as RtlCaptureStackBackTrace counts: 0 keeps the one
// into the caller). The walk ends at the first code without unwind rows
// (a system DLL's), which is kept. When `registers` is given it gets the
// frame of the first kept address: Eip that address, Esp, Ebp, Ebx, Esi,
// Edi as they are there (the call-clobbered registers are unknown: 0).
unsigned CaptureDwarfStack(unsigned skip, void** frames, unsigned max, CONTEXT* registers = nullptr);
#endif

}  // namespace qr
