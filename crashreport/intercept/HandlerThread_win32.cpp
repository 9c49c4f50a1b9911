#include "crashreport/intercept/HandlerThread_win32.h"

namespace qr {

THandlerThread::THandlerThread(THandle handle) : FHandle(std::move(handle)) {
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, nullptr, 0)) return;
    FReadEnd.Reset(readEnd);
    FWriteEnd.Reset(writeEnd);
    FThread.Reset(CreateThread(nullptr, 0, &THandlerThread::Run, this, CREATE_SUSPENDED, &FThreadId));
    if (!FThread) {
        FThreadId = 0;
        return;
    }
    SetThreadPriority(FThread.Get(), THREAD_PRIORITY_HIGHEST);
    ResumeThread(FThread.Get());
}

THandlerThread::~THandlerThread() {
    if (!FThread) return;
    TExceptRequestRec stop{};
    Send(stop);
    if (WaitForSingleObject(FThread.Get(), 500) != WAIT_OBJECT_0) {
        TerminateThread(FThread.Get(), 0);
        WaitForSingleObject(FThread.Get(), 50);
    }
}

bool THandlerThread::Send(const TExceptRequestRec& request) {
    DWORD written = 0;
    return FWriteEnd && WriteFile(FWriteEnd.Get(), &request, sizeof request, &written, nullptr) &&
           written == sizeof request;
}

// A request is written in one piece; the pipe may still hand it over in
// parts, so the parts are put together here.
bool THandlerThread::Read(TExceptRequestRec& request) {
    auto* bytes = reinterpret_cast<unsigned char*>(&request);
    DWORD have = 0;
    while (have < sizeof request) {
        DWORD got = 0;
        if (!ReadFile(FReadEnd.Get(), bytes + have, sizeof request - have, &got, nullptr) || got == 0)
            return false;
        have += got;
    }
    return true;
}

DWORD WINAPI THandlerThread::Run(void* parameter) {
    auto* self = static_cast<THandlerThread*>(parameter);
    TExceptRequestRec request;
    while (self->Read(request) && request.Event != 0) {
        try {
            self->FHandle(request);
        } catch (...) {
            // A failure of the handling itself is never reported.
        }
        SetEvent(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(request.Event)));
        // A failing thread that waits in a message loop wakes up.
        PostThreadMessageW(request.ThreadId, WM_NULL, 0, 0);
    }
    return 0;
}

}  // namespace qr
