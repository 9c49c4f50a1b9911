// Every C++ throw of the program passes through here: the link step
// redirects the runtime's throw routine to __wrap___cxa_throw (see the
// crash reporter's CMake rules), which notes the throw site and goes on
// into the real routine. Catching and reporting later loses the site, so
// this is the only place that still knows it.
#include "crashreport/intercept/RuntimeHooks_win32.h"

#include "crashreport/intercept/DwarfStack_win32.h"

#include <atomic>
#include <new>
#include <typeinfo>

extern "C" [[noreturn]] void __real___cxa_throw(void* object, std::type_info* type, void (*destroy)(void*));
extern "C" [[noreturn]] void __wrap___cxa_throw(void* object, std::type_info* type, void (*destroy)(void*));
extern "C" [[noreturn]] void __real___cxa_pure_virtual();
extern "C" [[noreturn]] void __wrap___cxa_pure_virtual();

namespace qr {

namespace {

std::atomic<TPureVirtualHandler> gPureVirtualHandler{nullptr};
// Each thread's note, behind a system TLS slot and made when the thread
// starts (AttachThrowNote), so that a throw, which may be the one of a
// failure, takes no allocation: the compiler's thread_local is emulated
// here and would allocate at a thread's first throw. The slot is made at
// its first use: a throw may come before this file's statics.
DWORD NoteSlot() {
    static const DWORD slot = TlsAlloc();
    return slot;
}

TThrowNote* ThisThreadsNote() {
    return NoteSlot() == TLS_OUT_OF_INDEXES ? nullptr : static_cast<TThrowNote*>(TlsGetValue(NoteSlot()));
}

#if defined(__x86_64__)
// The context of the caller of the function that captured `context`.
void StepOut(CONTEXT& context) {
    DWORD64 imageBase = 0;
    PRUNTIME_FUNCTION entry = RtlLookupFunctionEntry(context.Rip, &imageBase, nullptr);
    if (!entry) return;
    void* handlerData = nullptr;
    DWORD64 establisher = 0;
    RtlVirtualUnwind(UNW_FLAG_NHANDLER, imageBase, context.Rip, entry, &context, &handlerData, &establisher,
                     nullptr);
}
#endif

}  // namespace

const TThrowNote* CurrentThrowNote() {
    const TThrowNote* note = ThisThreadsNote();
    return note && note->Noted ? note : nullptr;
}

void ClearThrowNote() {
    if (TThrowNote* note = ThisThreadsNote()) note->Noted = false;
}

void AttachThrowNote() {
    if (NoteSlot() == TLS_OUT_OF_INDEXES || ThisThreadsNote()) return;
    void* memory = HeapAlloc(GetProcessHeap(), 0, sizeof(TThrowNote));
    if (memory && !TlsSetValue(NoteSlot(), new (memory) TThrowNote)) HeapFree(GetProcessHeap(), 0, memory);
}

void DetachThrowNote() {
    if (TThrowNote* note = ThisThreadsNote()) {
        TlsSetValue(NoteSlot(), nullptr);
        note->~TThrowNote();
        HeapFree(GetProcessHeap(), 0, note);
    }
}

void SetPureVirtualHandler(TPureVirtualHandler handler) { gPureVirtualHandler.store(handler); }

}  // namespace qr

extern "C" void __wrap___cxa_throw(void* object, std::type_info* type, void (*destroy)(void*)) {
    // A thread the notifications missed (started before the crash reporter)
    // gets its note now.
    if (!qr::ThisThreadsNote()) qr::AttachThrowNote();
    qr::TThrowNote* noted = qr::ThisThreadsNote();
    if (!noted) __real___cxa_throw(object, type, destroy);
    qr::TThrowNote& note = *noted;
    note.Object = object;
    note.Address = __builtin_return_address(0);
    // Frame 0 is this function; the first one kept is the thrower.
#if defined(__x86_64__)
    RtlCaptureContext(&note.Context);
    // The captured context is this function's; one step out is the thrower.
    qr::StepOut(note.Context);
    note.FrameCount = RtlCaptureStackBackTrace(1, qr::TThrowNote::kMaxFrames, note.Frames, nullptr);
#else
    note.FrameCount = qr::CaptureDwarfStack(1, note.Frames, qr::TThrowNote::kMaxFrames, &note.Context);
#endif
    note.HasContext = true;
    note.Noted = true;
    __real___cxa_throw(object, type, destroy);
}

extern "C" void __wrap___cxa_pure_virtual() {
    if (qr::TPureVirtualHandler handler = qr::gPureVirtualHandler.load())
        handler(__builtin_return_address(0));
    __real___cxa_pure_virtual();
}
