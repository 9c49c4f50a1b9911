// Every C++ throw of the program passes through here: the link step
// redirects the runtime's throw routine to __wrap___cxa_throw (see the
// crash reporter's CMake rules), which notes the throw site and goes on
// into the real routine. Catching and reporting later loses the site, so
// this is the only place that still knows it.
#include "crashreport/intercept/RuntimeHooks_win32.h"

#include <atomic>
#include <typeinfo>

extern "C" [[noreturn]] void __real___cxa_throw(void* object, std::type_info* type, void (*destroy)(void*));
extern "C" [[noreturn]] void __wrap___cxa_throw(void* object, std::type_info* type, void (*destroy)(void*));
extern "C" [[noreturn]] void __real___cxa_pure_virtual();
extern "C" [[noreturn]] void __wrap___cxa_pure_virtual();

namespace qr {

namespace {

std::atomic<TPureVirtualHandler> gPureVirtualHandler{nullptr};
thread_local TThrowNote tNote;
thread_local bool tNoted = false;

// The context of the caller of the function that captured `context`.
// `returnAddress`: where the capturing function returns to.
void StepOut(CONTEXT& context, void* returnAddress) {
#if defined(_M_X64) || defined(__x86_64__)
    DWORD64 imageBase = 0;
    (void)returnAddress;
    PRUNTIME_FUNCTION entry = RtlLookupFunctionEntry(context.Rip, &imageBase, nullptr);
    if (!entry) return;
    void* handlerData = nullptr;
    DWORD64 establisher = 0;
    RtlVirtualUnwind(UNW_FLAG_NHANDLER, imageBase, context.Rip, entry, &context, &handlerData, &establisher,
                     nullptr);
#else
    // 32-bit code has no unwind tables: the thrower's own registers are
    // gone, so the context keeps this frame's and points at the throw.
    context.Eip = reinterpret_cast<DWORD>(returnAddress);
#endif
}

}  // namespace

const TThrowNote* CurrentThrowNote() { return tNoted ? &tNote : nullptr; }

void ClearThrowNote() { tNoted = false; }

void SetPureVirtualHandler(TPureVirtualHandler handler) { gPureVirtualHandler.store(handler); }

}  // namespace qr

extern "C" void __wrap___cxa_throw(void* object, std::type_info* type, void (*destroy)(void*)) {
    qr::TThrowNote& note = qr::tNote;
    note.Object = object;
    note.Address = __builtin_return_address(0);
    RtlCaptureContext(&note.Context);
    // The captured context is this function's; one step out is the thrower.
    qr::StepOut(note.Context, note.Address);
    note.HasContext = true;
    // Frame 0 is this function; the first one kept is the thrower.
    note.FrameCount = RtlCaptureStackBackTrace(1, qr::TThrowNote::kMaxFrames, note.Frames, nullptr);
    qr::tNoted = true;
    __real___cxa_throw(object, type, destroy);
}

extern "C" void __wrap___cxa_pure_virtual() {
    if (qr::TPureVirtualHandler handler = qr::gPureVirtualHandler.load())
        handler(__builtin_return_address(0));
    __real___cxa_pure_virtual();
}
