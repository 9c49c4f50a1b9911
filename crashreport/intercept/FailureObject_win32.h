#pragma once
// One reported failure (the failure object): its settings, which can be
// changed for this failure alone, what the failing thread handed over, the
// filter results, the screenshot and the report. Shared by the handling,
// the dialog, the completion thread and a sending thread; it lives until
// the last of them lets go.
#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "crashreport/settings/Settings.h"
#include "base/win32/Handles.h"
#include "crashreport/system/SystemQueries.h"
#include "crashreport/intercept/FailureFilters.h"
#include "crashreport/intercept/FailureSite_win32.h"
#include "crashreport/report/Screenshot.h"
#include "crashreport/report/BugReport.h"
#include "crashreport/report/CompletionThread.h"
#include "crashreport/report/ReportBuilder.h"
#include "crashreport/ui/AssistantData.h"
#include "crashreport/ui/ProgressAlert_win32.h"

namespace qr {

class TIMEException : public TFailureSettings {
public:
    explicit TIMEException(const TIMESettings& moduleSettings) : TFailureSettings(moduleSettings) {}
    ~TIMEException() override {
        // The completion thread writes into the report: stop it first.
        Report.Abort();
        Completion.reset();
    }

    TExceptionKind Kind = TExceptionKind::Normal;
    AnsiString ClassName;  // empty: no exception object
    std::vector<std::string> ClassChain;
    std::optional<AnsiString> Message;
    uint64_t Address = 0;
    uint32_t ThreadId = 0;
    bool HasContext = false;
    CONTEXT Context{};
    uintptr_t StackPointer = 0, FramePointer = 0;
    std::vector<uint64_t> PreparedStack;  // noted at the throw; empty: walked
    TInterceptionPoint Point = TInterceptionPoint::MainLoop;
    void* RelatedObject = nullptr;
    bool CanContinue = true;
    TLocalTime Time;

    TFailureFlags Flags;
    std::optional<TScreenshot> Screenshot;

    TBugReport Report;
    std::unique_ptr<IReportSystem> ReportSystem;
    std::unique_ptr<TReportBuilder> Builder;
    std::unique_ptr<TCompletionThread> Completion;
    // Shown only while somebody waits for the completion (or sends); made
    // with the failure, used and closed by the thread that handles it.
    std::unique_ptr<TIProgressAlert> ProgressAlert;

    // What the assistants collected: each form's values as last continued,
    // filled in again when an assistant opens for this failure once more;
    // the sender as the contact form made it ("name <address>").
    std::vector<TNVFormData> AssistantForms;
    UString MailFrom;
    // Whether a sent report carries the screenshot (the screenshot form's
    // "attach a screenshot to the bug report").
    bool AttachScreenshot = true;

    std::atomic<bool> Sent{false};
    // The sending thread, while one may run, and whether the dialog's send
    // action is still before it (assistant, complete report); both guarded
    // by SendingLock.
    std::mutex SendingLock;
    win32::THandle SendingThread;
    bool SendActionRunning = false;
    // Yields true exactly once.
    bool FirstAutoSave() { return FAutoSaves.fetch_add(1) == -1; }

private:
    std::atomic<int> FAutoSaves{-1};
};

}  // namespace qr
