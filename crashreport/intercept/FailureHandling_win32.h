#pragma once
// Handling one failure, normally in the handler thread: the failure object
// and its filters, the screenshot, the report, the dialog, and the outcome
// (continue, restart, close) with the automatic save.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "crashreport/settings/SharedSettings.h"
#include "crashreport/intercept/FailureObject_win32.h"
#include "crashreport/intercept/FailureSite_win32.h"
#include "crashreport/intercept/PluginRegistry.h"
#include "crashreport/report/Screenshot.h"
#include "crashreport/intercept/ThreadTable.h"
#include "crashreport/intercept/TimeHistory.h"

namespace qr {

struct THandlingEnvironment {
    TSharedSettings* Settings = nullptr;
    TThreadTable* Threads = nullptr;
    TExceptTimeHistory* History = nullptr;
    TReportCounter* Counter = nullptr;
    uint32_t MainThreadId = 0;
    uint64_t StartTick = 0;  // GetTickCount64 at start-up
    const TPluginRegistry* Plugins = nullptr;
    // Takes the screenshot; empty: the whole screen (TakeScreenshot). A
    // test seam, set before the first failure.
    std::function<std::optional<TScreenshot>()> Screenshot;
};

class TFailureHandler {
public:
    explicit TFailureHandler(THandlingEnvironment environment) : FEnv(environment) {}

    // `inHandlerThread`: false when the failing thread handles its failure
    // itself (the loader lock was held); the report is then completed
    // right away instead of in a new thread.
    void Handle(const TExceptRequestRec& request, bool inHandlerThread);
    // See THandlingEnvironment::Screenshot.
    void SetScreenshotSource(std::function<std::optional<TScreenshot>()> take) {
        FEnv.Screenshot = std::move(take);
    }
    // Whether the handler thread has copied what it needs of the record
    // with this event (or has handled it): the failing thread may then
    // stop waiting without leaving the handling pointers into its frame.
    bool HasTaken(uint32_t event) const { return event && FTaken.load() == event; }
    // At the program's normal end while the handler thread still handles
    // a failure (its dialog open): that failure's automatic save, which
    // its final processing would have done, so that the report is kept.
    void SaveUnfinished();

private:
    std::shared_ptr<TIMEException> CreateFailure(const TExceptRequestRec& request);
    void StartReport(TIMEException& failure, bool inHandlerThread);
    // The dialog or box of the show setting; the button that ended it.
    int Show(const std::shared_ptr<TIMEException>& failure);
    // `waitForSending`: the process ends afterwards (restart, close).
    void FinalProcessing(TIMEException& failure, bool waitForSending);
    // `completionWait`: how long to wait for the report's completion
    // (INFINITE: as long as it takes, with the please-wait window).
    void AutomaticSave(TIMEException& failure, unsigned completionWait = INFINITE);

    THandlingEnvironment FEnv;
    std::atomic<uint32_t> FTaken{0};
    // The failure the handler thread handles now, for SaveUnfinished.
    std::mutex FUnfinishedLock;
    std::shared_ptr<TIMEException> FUnfinished;
};

// The text of a failure's exception message for the boxes and the report:
// the message, or the class name when there is none.
UString FailureMessage(const TIMEException& failure);

}  // namespace qr
