#include "crashreport/intercept/FailureHandling_win32.h"

#include <cxxabi.h>

#include <cstdlib>

#include "base/Exception.h"
#include "base/win32/WideText.h"
#include "crashreport/system/ModuleFiles_win32.h"
#include "crashreport/settings/Placeholders.h"
#include "crashreport/settings/StoredSettings.h"
#include "crashreport/intercept/AssistantRun_win32.h"
#include "crashreport/intercept/FailureTexts_win32.h"
#include "crashreport/intercept/CompleteReport_win32.h"
#include "crashreport/intercept/LoaderLock_win32.h"
#include "crashreport/intercept/ProcessorFaults_win32.h"
#include "crashreport/intercept/Restart_win32.h"
#include "crashreport/intercept/RuntimeHooks_win32.h"
#include "crashreport/intercept/SendAction_win32.h"
#include "crashreport/intercept/Screenshot_win32.h"
#include "crashreport/intercept/SystemFailureText.h"
#include "crashreport/intercept/TempFolder_win32.h"
#include "crashreport/report/CpuContext_win32.h"
#include "crashreport/report/ReportFile.h"
#include "crashreport/ui/ExceptionBox_win32.h"

namespace qr {

namespace {

AnsiString Demangled(const char* name) {
    int status = 0;
    char* readable = abi::__cxa_demangle(name, nullptr, nullptr, &status);
    AnsiString text = status == 0 && readable ? readable : name;
    std::free(readable);
    return text;
}

HMODULE ModuleOf(uint64_t address) {
    HMODULE module = nullptr;
    if (!address || !GetModuleHandleExW(
                        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                        reinterpret_cast<LPCWSTR>(static_cast<uintptr_t>(address)), &module))
        return nullptr;
    return module;
}

// The exception's class, ancestors and message, from whatever the failing
// thread had.
void DescribeException(TIMEException& failure, const TFailureSite& site) {
    if (site.Object) {
        if (auto* own = dynamic_cast<const Exception*>(site.Object)) {
            std::vector<const char*> chain;
            own->ClassChain(chain);
            for (const char* name : chain) failure.ClassChain.emplace_back(name);
            failure.ClassName = own->ClassName();
            failure.Message = own->Message();
        } else {
            failure.ClassName = Demangled(typeid(*site.Object).name());
            failure.ClassChain = {failure.ClassName};
            failure.Message = AnsiString(site.Object->what());
        }
    } else if (site.Type) {
        failure.ClassName = Demangled(site.Type->name());
        failure.ClassChain = {failure.ClassName};
    } else if (site.SystemRecord) {
        const EXCEPTION_RECORD& record = *site.SystemRecord;
        TSystemFailure system;
        system.Code = record.ExceptionCode;
        system.Address = reinterpret_cast<uintptr_t>(record.ExceptionAddress);
        if (HMODULE module = ModuleOf(system.Address))
            system.ModuleFileName = UnicodeToUtf8(win32::FromWide(ModuleFileName(module).c_str()));
        if (record.ExceptionCode == EXCEPTION_ACCESS_VIOLATION && record.NumberParameters >= 2) {
            system.HasAccessInfo = true;
            system.Write = record.ExceptionInformation[0] != 0;
            system.AccessAddress = record.ExceptionInformation[1];
        }
        system.AddressDigits = sizeof(void*) * 2;
        TFailureText text = SystemFailureText(system);
        failure.ClassName = text.ClassName;
        failure.ClassChain = {text.ClassName};
        failure.Message = text.Message;
    } else if (site.RuntimeText || site.Point == TInterceptionPoint::RuntimeError) {
        TFailureText text = RuntimeErrorText(site.RuntimeText);
        failure.ClassName = text.ClassName;
        failure.ClassChain = {text.ClassName};
        failure.Message = text.Message;
    }
}

// Where the error being handled (inside its catch block) arose: a
// processor fault's instruction, or the throw of a C++ error when this
// thread's throw note is of that error.
std::optional<uint64_t> CurrentErrorAddress() {
    std::exception_ptr error = std::current_exception();
    if (!error) return std::nullopt;
    try {
        std::rethrow_exception(error);
    } catch (const EExternal& fault) {
        return reinterpret_cast<uintptr_t>(fault.Fault().Address);
    } catch (const std::exception& e) {
        const TThrowNote* note = CurrentThrowNote();
        if (note && note->Object == dynamic_cast<const void*>(&e) && note->Address)
            return reinterpret_cast<uintptr_t>(note->Address);
    } catch (...) {
        // Neither: the address is not known.
    }
    return std::nullopt;
}

TLocalTime Now() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
}

uint64_t SecondsSince1601() {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    return ((uint64_t(now.dwHighDateTime) << 32) | now.dwLowDateTime) / 10000000;
}

std::unique_ptr<TIMESettings> SettingsFor(TSharedSettings* shared, uint64_t address) {
    try {
        if (shared)
            if (auto settings = shared->ModuleSettings(ModuleOf(address))) return settings;
    } catch (const std::exception&) {
        // A damaged shared text: the program's own settings still hold.
    }
    return std::make_unique<TIMESettings>(
        std::make_shared<const TSettingsTable>(TSettingsTable::Parse(EmbeddedSettingsText())));
}

// What the large form shows: the report's tabs, refreshed on every change.
TBoxReport LargeFormReport(TIMEException& failure) {
    TBoxReport report;
    TReportTabOptions options;
    options.ShowRelAddrs = failure.GetBoolean("ShowRelAddrs");
    options.ShowRelLines = failure.GetBoolean("ShowRelLines");
    report.Tabs = [&failure, options] {
        return BuildReportTabs(failure.Report.Header().Items(), failure.Report.Sections().Items(), options);
    };
    report.CompleteText = [&failure](HWND owner) {
        return AnsiToUnicode(CompleteReportText(failure, owner));
    };
    report.Watch = [&failure](std::function<void()> changed) {
        failure.Report.SetOnChange(std::move(changed));
    };
    return report;
}

}  // namespace

UString FailureMessage(const TIMEException& failure) {
    if (failure.Message) return Utf8ToUnicode(*failure.Message);
    return Utf8ToUnicode(failure.ClassName);
}

std::shared_ptr<TIMEException> TFailureHandler::CreateFailure(const TExceptRequestRec& request) {
    std::unique_ptr<TIMESettings> settings =
        SettingsFor(FEnv.Settings, reinterpret_cast<uintptr_t>(request.ExceptAddress));
    auto failure = std::make_shared<TIMEException>(*settings);
    failure->Kind = request.Kind;
    if (request.Site) DescribeException(*failure, *request.Site);
    failure->Address = reinterpret_cast<uintptr_t>(request.ExceptAddress);
    failure->ThreadId = request.ThreadId;
    if (request.Context) {
        failure->Context = *request.Context;
        failure->HasContext = true;
    }
    // The system's capture may run on past the thread's first frame.
    if (request.Site && request.Site->PreparedStack)
        for (unsigned i = 0; i < request.Site->PreparedFrames && request.Site->PreparedStack[i]; ++i)
            failure->PreparedStack.push_back(reinterpret_cast<uintptr_t>(request.Site->PreparedStack[i]));
    failure->StackPointer = request.StackPointer;
    failure->FramePointer = request.FramePointer;
    failure->Point = request.Point;
    failure->RelatedObject = request.RelatedObject;
    failure->CanContinue = request.CanContinue != 0;
    failure->Time = Now();
    failure->Flags = ApplyFailureFilters(*failure, failure->ClassChain);
    failure->ProgressAlert = std::make_unique<TIProgressAlert>(
        ExpandedFailureText(*failure, failure->GetText("PlWaitTitle")), L"MEIPLWAIT");
    failure->ProgressAlert->AddArea(ExpandedFailureText(*failure, failure->GetText("PlWaitText")), 1000);
    return failure;
}

void TFailureHandler::StartReport(TIMEException& failure, bool inHandlerThread) {
    TFailure data;
    data.ExceptClass = failure.ClassName;
    data.ExceptMessage = failure.Message;
    data.Address = failure.Address;
    data.ThreadId = failure.ThreadId;
    data.Time = failure.Time;
    data.ProgramUpTime = GetTickCount64() - FEnv.StartTick;
    data.Number = FEnv.Counter ? FEnv.Counter->Next() : 1;
    if (failure.HasContext) SetFailureContext(data, failure.Context);
    data.PreparedStack = failure.PreparedStack;
    failure.ReportSystem = CreateReportSystem();
    std::vector<TReportPlugin> plugins = BuiltInPlugins(*failure.ReportSystem);
    if (FEnv.Plugins) plugins = FEnv.Plugins->Merged(std::move(plugins));
    std::vector<TThreadEntry> names = FEnv.Threads ? FEnv.Threads->Entries() : std::vector<TThreadEntry>{};
    failure.Builder = std::make_unique<TReportBuilder>(
        failure.Report, *failure.ReportSystem, data,
        ReportOptionsFrom(failure, FEnv.MainThreadId, inHandlerThread ? GetCurrentThreadId() : 0),
        std::move(names), plugins);
    failure.Builder->SetErrorAddress(&CurrentErrorAddress);
    failure.Builder->BuildHeader();
    failure.Builder->BuildSkeleton();
    TReportBuilder* builder = failure.Builder.get();
    if (TIProgressAlert* alert = failure.ProgressAlert.get()) {
        // One area a thread, weighed by the stack its walk goes through; the
        // walk reports its steps from the completion thread (the window
        // takes positions from any thread).
        const std::vector<uint64_t> sizes = builder->ThreadStackSizes();
        if (!sizes.empty()) {
            alert->ClearAreas();
            const UString text = ExpandedFailureText(failure, failure.GetText("PlWaitText"));
            for (uint64_t size : sizes) alert->AddArea(text, int64_t(100 * size));
        }
        builder->SetProgress([alert](size_t area, int position) {
            alert->SetArea(area);
            alert->SetPosition(position);
        });
    }
    if (inHandlerThread && !LoaderLockStaysHeld()) {
        failure.Completion = std::make_unique<TCompletionThread>([builder] { builder->Complete(); });
        return;
    }
    // No thread can start: completed here, behind the please-wait window,
    // which the walks move on as the completion thread's would.
    TIProgressAlert* alert = failure.GetBoolean("PlWaitBox") ? failure.ProgressAlert.get() : nullptr;
    const bool shown = alert && alert->Show(nullptr, true);
    builder->Complete();
    if (shown) {
        alert->SetPosition(1000);
        alert->Close();
    }
}

int TFailureHandler::Show(const std::shared_ptr<TIMEException>& shared) {
    TIMEException& failure = *shared;
    int show = failure.Flags.ShowSetting;
    if (show == 4) return static_cast<int>(TBoxButton::Continue);
    auto queries = CreateSystemQueries();
    TPlaceholderContext context;
    context.ExceptClass = Utf8ToUnicode(failure.ClassName);
    context.ExceptMessage = FailureMessage(failure);
    context.Time = failure.Time;
    auto expand = [&](const UString& text) { return ExpandPlaceholders(text, *queries, context); };
    // The filter's assistant instead of the dialog; without one, the dialog.
    if (show == 1) {
        if (RunAssistant(failure, failure.Flags.Assistant, nullptr) != TAssistantResult::NotShown)
            return static_cast<int>(TBoxButton::Continue);
        show = 0;
    }

    bool large = false, first = true;
    for (;;) {
        TBoxContent content =
            BoxContentFrom(failure, expand, FailureMessage(failure), failure.CanContinue, large ? 0 : show);
        content.FirstOpening = first;
        if (large) content.Visible[static_cast<int>(TBoxButton::Show)] = false;
        TBoxButton pressed;
        try {
            TExceptionBox box(
                content,
                [&shared](TBoxButton button, HWND owner) {
                    // Saving and printing have no buttons in this program.
                    if (button == TBoxButton::Send) SendAction(shared, owner);
                    // Completed while the dialog still stands, so the please-wait
                    // window has an owner to stand in front of.
                    if (button == TBoxButton::Restart || button == TBoxButton::Close)
                        EnsureReportComplete(*shared, owner);
                },
                nullptr);
            if (failure.Builder) box.SetReport(LargeFormReport(failure));
            pressed = box.Run();
        } catch (...) {
            // No dialog (out of window or GDI handles): handled as if its
            // escape key had been pressed, so that the outcome and the
            // automatic save still follow.
            return static_cast<int>(EscapeButton(content));
        }
        if (pressed != TBoxButton::Show) return static_cast<int>(pressed);
        // "show bug report" / "&Details": open again with the report shown,
        // and no automatic outcome for this failure.
        large = true;
        first = false;
        failure.SetBoolean("AutoShowBugRep", true);
        failure.SetBoolean("AutoContinue", false);
        failure.SetInteger("AutoRestart", 0);
        failure.SetInteger("AutoClose", 0);
    }
}

void TFailureHandler::AutomaticSave(TIMEException& failure, unsigned completionWait) {
    if (!failure.Builder || !failure.GetBoolean("AutoSave")) return;
    if (failure.GetBoolean("AutoSaveIfNotSent") && failure.Sent.load()) return;
    if (!failure.FirstAutoSave()) return;
    if (completionWait == INFINITE)
        EnsureReportComplete(failure, nullptr);
    else if (failure.Completion && !failure.Completion->Wait(completionWait))
        // Saved as it stands: the rest of the completion would not be kept.
        failure.Report.Abort();
    auto files = CreateReportFileSystem();
    auto queries = CreateSystemQueries();
    TReportSaveRequest request;
    request.FileName = failure.GetText("BugRepFile");
    request.ProgramFileName = queries->ProgramFileName();
    request.Rules = ReportFileRulesFrom(failure);
    request.Automatic = true;
    SaveBugReport(failure.Report, *files, *queries, request);
}

void TFailureHandler::FinalProcessing(TIMEException& failure, bool waitForSending) {
    // The automatic actions register as a critical report-changed callback
    // whenever one of them is on: the report must then be complete.
    bool critical =
        failure.GetBoolean("AutoSave") || failure.GetBoolean("AutoSend") || failure.GetBoolean("AutoClip");
    if (critical) EnsureReportComplete(failure, nullptr);
    // A send still under way decides whether the report is saved; the
    // process must not end under it.
    if (waitForSending) WaitForSending(failure);
    AutomaticSave(failure);
}

void TFailureHandler::SaveUnfinished() {
    std::shared_ptr<TIMEException> failure;
    {
        std::lock_guard<std::mutex> hold(FUnfinishedLock);
        failure = FUnfinished;
    }
    // The report completes on its own thread; the process ends after this,
    // so the wait is bounded and the report saved as far as it came.
    constexpr unsigned kCompletionAtEnd = 20000;
    if (failure) AutomaticSave(*failure, kCompletionAtEnd);
}

void TFailureHandler::Handle(const TExceptRequestRec& request, bool inHandlerThread) {
    CleanCrashTempFolder(false);
    std::shared_ptr<TIMEException> failure = CreateFailure(request);
    // From here nothing of the failing thread's record is read any more.
    if (inHandlerThread) {
        std::lock_guard<std::mutex> hold(FUnfinishedLock);
        FUnfinished = failure;
    }
    FTaken.store(request.Event);
    struct TFinished {
        TFailureHandler& Handler;
        bool Own;
        ~TFinished() {
            if (!Own) return;
            std::lock_guard<std::mutex> hold(Handler.FUnfinishedLock);
            Handler.FUnfinished.reset();
        }
    } finished{*this, inHandlerThread};
    if (FEnv.History) FEnv.History->Record(SecondsSince1601());

    if (failure->Flags.CreateScreenshot) {
        // Right after an out-of-memory failure taking it may fail too: that
        // only clears create-screenshot.
        try {
            failure->Screenshot = FEnv.Screenshot ? FEnv.Screenshot() : TakeScreenshot();
        } catch (...) {
            failure->Screenshot.reset();
        }
        if (!failure->Screenshot) failure->Flags.CreateScreenshot = false;
    }
    if (failure->Flags.CreateBugReport) StartReport(*failure, inHandlerThread);

    const int shown = Show(failure);
    const auto button = static_cast<TBoxButton>(shown);
    if (button == TBoxButton::Restart || button == TBoxButton::Close) {
        FinalProcessing(*failure, true);
        if (button == TBoxButton::Restart && FEnv.History) RestartProgram(*FEnv.History);
        CloseProgram();
    }
    if (!failure->CanContinue || failure->Flags.ShowSetting == 4) {
        // AutoClose and AutoRestart fire at 1; a failure that cannot be
        // continued is closed unless a restart fires.
        const bool autoClose = failure->GetInteger("AutoClose") == 1;
        const bool autoRestart = failure->GetInteger("AutoRestart") == 1;
        if (autoClose || (!failure->CanContinue && !autoRestart)) {
            FinalProcessing(*failure, true);
            CloseProgram();
        }
        if (autoRestart) {
            FinalProcessing(*failure, true);
            if (FEnv.History) RestartProgram(*FEnv.History);
        }
    }
    FinalProcessing(*failure, false);
}

}  // namespace qr
