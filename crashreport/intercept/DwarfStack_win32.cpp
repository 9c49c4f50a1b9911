#include "crashreport/intercept/DwarfStack_win32.h"

#if !defined(__x86_64__)
#include <unwind.h>

namespace qr {

namespace {

// DWARF register numbers of i386.
constexpr int kEbx = 3, kEbp = 5, kEsi = 6, kEdi = 7;

struct TWalk {
    unsigned Skip;
    void** Frames;
    unsigned Max;
    CONTEXT* Registers;
    unsigned Count = 0;
    uintptr_t CalleeCfa = 0;  // the frame below's CFA: this frame's stack pointer
};

_Unwind_Reason_Code Step(_Unwind_Context* context, void* argument) {
    TWalk& walk = *static_cast<TWalk*>(argument);
    const uintptr_t ip = _Unwind_GetIP(context);
    const uintptr_t calleeCfa = walk.CalleeCfa;
    walk.CalleeCfa = _Unwind_GetCFA(context);
    if (!ip) return _URC_END_OF_STACK;
    if (walk.Skip) {
        --walk.Skip;
        return _URC_NO_REASON;
    }
    if (walk.Count == 0 && walk.Registers) {
        CONTEXT& r = *walk.Registers;
        r = CONTEXT{};
        r.ContextFlags = CONTEXT_CONTROL | CONTEXT_INTEGER;
        r.Eip = ip;
        r.Esp = calleeCfa;
        // Saved by every function that changes them: the unwinder knows
        // where each frame's copy is.
        r.Ebp = _Unwind_GetGR(context, kEbp);
        r.Ebx = _Unwind_GetGR(context, kEbx);
        r.Esi = _Unwind_GetGR(context, kEsi);
        r.Edi = _Unwind_GetGR(context, kEdi);
    }
    walk.Frames[walk.Count++] = reinterpret_cast<void*>(ip);
    return walk.Count < walk.Max ? _URC_NO_REASON : _URC_END_OF_STACK;
}

}  // namespace

__attribute__((noinline)) unsigned CaptureDwarfStack(unsigned skip, void** frames, unsigned max,
                                                     CONTEXT* registers) {
    if (max == 0) return 0;
    // The walk's first frame is this function's.
    TWalk walk{skip + 1, frames, max, registers};
    _Unwind_Backtrace(Step, &walk);
    return walk.Count;
}

}  // namespace qr
#endif
