// Windows: a thread above normal priority.
#include <windows.h>

#include "crashreport/report/CompletionThread.h"
#include "base/win32/Handles.h"
#include "crashreport/system/OwnThreads_win32.h"

namespace qr {

struct TCompletionThread::TImpl {
    std::function<void()> Work;
    win32::THandle Thread;

    static DWORD WINAPI Run(void* parameter) {
        TOwnThreadMark own;
        try {
            static_cast<TImpl*>(parameter)->Work();
        } catch (...) {
            // The steps guard themselves; nothing may leave the thread.
        }
        return 0;
    }
};

TCompletionThread::TCompletionThread(std::function<void()> work) : FImpl(std::make_unique<TImpl>()) {
    FImpl->Work = std::move(work);
    FImpl->Thread =
        win32::THandle(CreateThread(nullptr, 0, &TImpl::Run, FImpl.get(), CREATE_SUSPENDED, nullptr));
    if (!FImpl->Thread) {
        // No thread to be had: complete in the caller's thread.
        TImpl::Run(FImpl.get());
        return;
    }
    SetThreadPriority(FImpl->Thread.Get(), THREAD_PRIORITY_ABOVE_NORMAL);
    ResumeThread(FImpl->Thread.Get());
}

// The work ends by itself (each step ends, the abort flag ends it between
// steps), so the wait is bounded by the work; an error that nothing
// catches on this thread ends it, since it is never reported
// (OwnThreads_win32.h).
TCompletionThread::~TCompletionThread() {
    if (FImpl->Thread) WaitForSingleObject(FImpl->Thread.Get(), INFINITE);
}

bool TCompletionThread::Wait(unsigned milliseconds) {
    return !FImpl->Thread || WaitForSingleObject(FImpl->Thread.Get(), milliseconds) == WAIT_OBJECT_0;
}

void TCompletionThread::RaiseToHighest() {
    if (FImpl->Thread) SetThreadPriority(FImpl->Thread.Get(), THREAD_PRIORITY_HIGHEST);
}

}  // namespace qr
