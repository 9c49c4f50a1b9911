#include "crashreport/intercept/SendAction_win32.h"

#include "crashreport/system/OwnThreads_win32.h"
#include "crashreport/intercept/LoaderLock_win32.h"
#include "crashreport/intercept/CompleteReport_win32.h"
#include "crashreport/intercept/SendSeams_win32.h"
#include "crashreport/intercept/TempFolder_win32.h"
#include "crashreport/send/SendSystem_win32.h"

namespace qr {

namespace {

struct TSendJob {
    std::shared_ptr<TIMEException> Failure;  // keeps it alive while the thread runs
    AnsiString Report;
    bool WithScreenshot = false;
    bool Silent = false;
};

TSendResult SendHere(TSendJob& job, HWND owner, bool inThread) {
    TIMEException& failure = *job.Failure;
    TSendBugReportExRec request;
    request.Report = std::move(job.Report);
    if (job.WithScreenshot && failure.Screenshot) request.Screenshot = &*failure.Screenshot;
    request.Silent = job.Silent;
    request.InThread = inThread;
    request.ReportSaved = failure.Report.Saved();
    const std::wstring temp = CrashTempFolder();
    TSendSystem system(owner, UString(temp.begin(), temp.end()), !LoaderLockHeld());
    auto files = CreateReportFileSystem();
    auto queries = CreateSystemQueries();
    auto progress = CreateSendProgress(failure, owner);
    return SendBugReport(request, failure, {system, *files, *queries, *progress}, failure.Sent);
}

DWORD WINAPI SendingThread(void* parameter) {
    TOwnThreadMark own;  // its failures are never reported
    std::unique_ptr<TSendJob> job(static_cast<TSendJob*>(parameter));
    try {
        return static_cast<DWORD>(SendHere(*job, nullptr, true));
    } catch (...) {
        // A failure of the sending thread is a failed send, not a new crash
        // report while this one is still open.
        return static_cast<DWORD>(TSendResult::Failed);
    }
}

// Under SendingLock, both.
bool SendingThreadRunning(const TIMEException& failure) {
    return failure.SendingThread && WaitForSingleObject(failure.SendingThread.Get(), 0) == WAIT_TIMEOUT;
}

// A send of the failure is under way; a finished sending thread's handle is
// released here.
bool SendUnderWay(TIMEException& failure) {
    if (failure.SendActionRunning || SendingThreadRunning(failure)) return true;
    failure.SendingThread.Reset();
    return false;
}

// Marks the dialog's send action as running while it prepares its send.
class TSendActionMark {
public:
    explicit TSendActionMark(TIMEException& failure) : FFailure(failure) {}
    ~TSendActionMark() {
        std::lock_guard<std::mutex> lock(FFailure.SendingLock);
        FFailure.SendActionRunning = false;
    }
    TSendActionMark(const TSendActionMark&) = delete;
    TSendActionMark& operator=(const TSendActionMark&) = delete;

private:
    TIMEException& FFailure;
};

}  // namespace

TSendResult SendFailureReport(const std::shared_ptr<TIMEException>& failure, AnsiString report,
                              bool withScreenshot, HWND owner, bool background, bool silent) {
    auto job = std::make_unique<TSendJob>(TSendJob{failure, std::move(report), withScreenshot, silent});
    if (background && !LoaderLockHeld()) {
        // The mail program's windows are to come in front of the dialog.
        if (owner) SetWindowPos(owner, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        std::lock_guard<std::mutex> lock(failure->SendingLock);
        // One send per failure: its handle is the one that close and
        // restart wait for.
        if (SendingThreadRunning(*failure)) return TSendResult::Failed;
        win32::THandle thread(CreateThread(nullptr, 0, &SendingThread, job.get(), 0, nullptr));
        if (thread) {
            job.release();  // the thread owns it now
            failure->SendingThread = std::move(thread);
            return TSendResult::Sent;
        }
        // No thread: send in this one.
    }
    return SendHere(*job, owner, false);
}

void SendAction(const std::shared_ptr<TIMEException>& failure, HWND owner) {
    {
        // One send may be under way per failure: a second press (the
        // button stays enabled while the mail program has the first) is
        // refused, so that close and restart wait for the one send there is
        // and no two sends share the temporary files.
        std::lock_guard<std::mutex> lock(failure->SendingLock);
        if (SendUnderWay(*failure)) {
            MessageBeep(MB_ICONWARNING);
            return;
        }
        failure->SendActionRunning = true;
    }
    TSendActionMark mark(*failure);
    if (RunSendAssistant(*failure, owner) == TAssistantResult::Cancelled) return;
    // The screenshot was taken at the failure, before any window of ours
    // opened; the assistant may have edited it or switched it off.
    const bool withScreenshot =
        failure->Flags.CreateScreenshot && failure->Screenshot.has_value() && failure->AttachScreenshot;
    // The complete report, with the please-wait window while it is made.
    AnsiString report = CompleteReportText(*failure, owner);
    SendFailureReport(failure, std::move(report), withScreenshot, owner, failure->GetBoolean("SendInBackgr"),
                      false);
    SetCursor(LoadCursorW(nullptr, IDC_ARROW));
}

void WaitForSending(TIMEException& failure) {
    win32::THandle thread;
    {
        std::lock_guard<std::mutex> lock(failure.SendingLock);
        thread = std::move(failure.SendingThread);
    }
    // Without limit: the user may still be writing the mail, and the
    // process must not end under the mail program's feet.
    if (thread) WaitForSingleObject(thread.Get(), INFINITE);
}

}  // namespace qr
