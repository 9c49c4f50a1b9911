#pragma once
// The crash reporter's handler thread "Tobrisk - HandleExceptionThread":
// failing threads write a request into its pipe and wait; it handles one
// failure at a time, in the order the requests arrive.
#include <windows.h>

#include <atomic>
#include <functional>

#include "base/win32/Handles.h"
#include "crashreport/intercept/FailureSite_win32.h"

namespace qr {

class THandlerThread {
public:
    using THandle = std::function<void(const TExceptRequestRec&)>;

    // Creates the pipe and the thread at the highest priority. Without
    // them failures cannot be reported (Send then fails).
    explicit THandlerThread(THandle handle);
    // Asks the thread to stop with an empty request and waits 500 ms for
    // it, then 50 ms more, then terminates it: a dialog that is still open
    // must not keep the process from ending. Returns once the thread is
    // gone, since it uses this object and what FHandle reaches.
    ~THandlerThread();
    THandlerThread(const THandlerThread&) = delete;
    THandlerThread& operator=(const THandlerThread&) = delete;

    DWORD ThreadId() const { return FThreadId.load(); }
    // On the handler thread, when an error that nothing caught ends it
    // (the terminate handler, the unhandled-exception filter): releases
    // the failure it was handling and lets a new handler thread go on
    // reading the pipe, then ends this one.
    [[noreturn]] void ReplaceAndExit();
    // From the failing thread: writes the whole request or nothing. No
    // allocation and no lock.
    bool Send(const TExceptRequestRec& request);
    // Writes one block into the pipe as one message; the thread takes only
    // blocks of a request's size.
    bool Write(const void* block, DWORD size);

    static constexpr const char* kName = "Tobrisk - HandleExceptionThread";

private:
    static DWORD WINAPI Run(void* self);
    bool Read(TExceptRequestRec& request);
    bool OpenPipe();
    bool Start();
    static void Release(uint32_t event, DWORD thread);

    THandle FHandle;
    win32::TFileHandle FReadEnd, FWriteEnd;
    win32::THandle FThread;
    std::atomic<DWORD> FThreadId{0};
    // The failure being handled: its event and failing thread (0: none).
    std::atomic<uint32_t> FCurrentEvent{0};
    std::atomic<DWORD> FCurrentThread{0};
};

}  // namespace qr
