#include "crashreport/intercept/HandlerThread_win32.h"

#include "crashreport/system/OwnThreads_win32.h"

namespace qr {

THandlerThread::THandlerThread(THandle handle) : FHandle(std::move(handle)) {
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, nullptr, 0)) return;
    FReadEnd.Reset(readEnd);
    FWriteEnd.Reset(writeEnd);
    // Without a reader a request would sit in the pipe and its thread wait
    // for ever: no thread, no pipe.
    if (!Start()) FWriteEnd.Reset();
}

bool THandlerThread::Start() {
    DWORD id = 0;
    win32::THandle thread(CreateThread(nullptr, 0, &THandlerThread::Run, this, CREATE_SUSPENDED, &id));
    if (!thread) return false;
    SetThreadPriority(thread.Get(), THREAD_PRIORITY_HIGHEST);
    FThread = std::move(thread);
    FThreadId.store(id);
    ResumeThread(FThread.Get());
    return true;
}

void THandlerThread::Release(uint32_t event, DWORD thread) {
    if (!event) return;
    SetEvent(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(event)));
    // A failing thread that waits in a message loop wakes up.
    PostThreadMessageW(thread, WM_NULL, 0, 0);
}

void THandlerThread::ReplaceAndExit() {
    Release(FCurrentEvent.exchange(0), FCurrentThread.load());
    // The old thread's handle goes with it; the successor is known by its
    // id from now on, so that its own failures are not reported either.
    if (!Start()) FWriteEnd.Reset();
    UnmarkCrashReporterThread(GetCurrentThreadId());
    ExitThread(0);
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
    TOwnThreadMark own;
    TExceptRequestRec request;
    while (self->Read(request) && request.Event != 0) {
        self->FCurrentThread.store(request.ThreadId);
        self->FCurrentEvent.store(request.Event);
        try {
            self->FHandle(request);
        } catch (...) {
            // A failure of the handling itself is never reported.
        }
        Release(self->FCurrentEvent.exchange(0), request.ThreadId);
    }
    return 0;
}

}  // namespace qr
