#include "crashreport/intercept/HandlerThread_win32.h"

#include <cwchar>

#include "crashreport/system/OwnThreads_win32.h"

namespace qr {

namespace {

// Room for this many requests before a failing thread's write waits.
constexpr DWORD kQueuedRequests = 256;
// The shutdown's waits for the thread, in milliseconds.
constexpr DWORD kStopWait = 500, kLastWait = 50;

}  // namespace

THandlerThread::THandlerThread(THandle handle) : FHandle(std::move(handle)) {
    if (!OpenPipe()) return;
    // Without a reader a request would sit in the pipe and its thread wait
    // for ever: no thread, no pipe.
    if (!Start()) FWriteEnd.Reset();
}

// A pipe of messages, not of bytes: each request arrives as the block it
// was written as, so a block of another length is seen as one and dropped
// whole, where in a byte stream it would shift every later request. A
// named pipe, since anonymous pipes carry bytes only; the name is this
// process's and this object's, and the one instance is taken at once.
bool THandlerThread::OpenPipe() {
    wchar_t name[96];
    std::swprintf(name, 96, L"\\\\.\\pipe\\TobriskExceptPipe$%lx$%p", GetCurrentProcessId(),
                  static_cast<void*>(this));
    win32::TFileHandle readEnd(
        CreateNamedPipeW(name, PIPE_ACCESS_INBOUND | FILE_FLAG_FIRST_PIPE_INSTANCE,
                         PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
                         1, 0, kQueuedRequests * sizeof(TExceptRequestRec), 0, nullptr));
    if (!readEnd) return false;
    win32::TFileHandle writeEnd(CreateFileW(name, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!writeEnd) return false;
    FReadEnd = std::move(readEnd);
    FWriteEnd = std::move(writeEnd);
    return true;
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
    // It is still handling a failure (a dialog stands open) when it has not
    // ended by then.
    if (WaitForSingleObject(FThread.Get(), kStopWait) == WAIT_TIMEOUT &&
        WaitForSingleObject(FThread.Get(), kLastWait) == WAIT_TIMEOUT) {
        TerminateThread(FThread.Get(), 0);
        // Termination is asynchronous but cannot be refused by the thread;
        // the pipe, FHandle and what it reaches stay until it has happened.
        WaitForSingleObject(FThread.Get(), INFINITE);
    }
}

bool THandlerThread::Send(const TExceptRequestRec& request) { return Write(&request, sizeof request); }

bool THandlerThread::Write(const void* block, DWORD size) {
    DWORD written = 0;
    return FWriteEnd && WriteFile(FWriteEnd.Get(), block, size, &written, nullptr) && written == size;
}

// One message is one request; any other length is skipped whole.
bool THandlerThread::Read(TExceptRequestRec& request) {
    for (;;) {
        DWORD got = 0;
        if (ReadFile(FReadEnd.Get(), &request, sizeof request, &got, nullptr)) {
            if (got == sizeof request) return true;
            continue;  // shorter
        }
        if (GetLastError() != ERROR_MORE_DATA) return false;  // the pipe is gone
        // Longer: the rest of it goes too.
        unsigned char rest[256];
        BOOL done = FALSE;
        while (!done) {
            done = ReadFile(FReadEnd.Get(), rest, sizeof rest, &got, nullptr);
            if (!done && GetLastError() != ERROR_MORE_DATA) return false;
        }
    }
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
