#pragma once
// The runtime's routines that every program linking the crash reporter
// passes through (the link step redirects them here): the throw of a C++
// exception and the pure virtual call.
//
// The throw leaves the per-thread note of the exception being raised: where
// the program threw its last C++ exception and the processor state there.
// A failure reported from a catch block takes its location from the note
// when the note belongs to the same exception object.
#include <windows.h>

namespace qr {

struct TThrowNote {
    const void* Object = nullptr;  // the thrown object
    void* Address = nullptr;       // just behind the throwing call
    CONTEXT Context;               // the thrower's registers at that call
    bool HasContext = false;
    // The call stack at the throw, return addresses from the thrower
    // outward: unwinding to the catch destroys those frames.
    static constexpr int kMaxFrames = 62;
    void* Frames[kMaxFrames];
    unsigned FrameCount = 0;
    bool Noted = false;  // a throw since the last clear
};

// This thread's note; null when it threw nothing since the last clear.
const TThrowNote* CurrentThrowNote();
void ClearThrowNote();
// Makes and frees the calling thread's note (from the thread start and end
// notifications), so that noting a throw allocates nothing.
void AttachThrowNote();
void DetachThrowNote();

// Called instead of the runtime's message when a pure virtual function is
// called; the runtime's handling follows if it returns. Null: none.
using TPureVirtualHandler = void (*)(void* callerAddress);
void SetPureVirtualHandler(TPureVirtualHandler handler);

}  // namespace qr
