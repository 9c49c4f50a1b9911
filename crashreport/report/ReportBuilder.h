#pragma once
// Building one failure's report: the header and the section skeleton at
// once, the slow sections in the completion.
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "crashreport/report/BugReport.h"
#include "crashreport/report/Checksums.h"
#include "crashreport/report/Completion.h"
#include "crashreport/report/Plugins.h"
#include "crashreport/report/ReportSystem.h"
#include "crashreport/report/StackSection.h"

namespace qr {

class TIMESettings;

// What the report needs of a failure.
struct TFailure {
    AnsiString ExceptClass;  // empty: no exception object
    // The object's message text in UTF-8, as the program's errors carry
    // it; the report holds it in the code page.
    std::optional<std::string> ExceptMessage;
    uint64_t Address = 0;  // the exception location
    uint32_t ThreadId = 0;
    TLocalTime Time;
    uint64_t ProgramUpTime = 0;  // milliseconds since the crash reporter started
    unsigned Number = 1;         // the process's count of reports
    bool HasContext = false;
    std::vector<std::pair<AnsiString, uint64_t>> Registers;  // in report order
    uint64_t StackPointer = 0;
    // The failing thread's processor context (the system's record as raw
    // bytes) for the stack walk; empty: the walk shows only `Address`.
    std::vector<unsigned char> Context = {};
    // The failing thread's call stack as noted when the error was thrown
    // (return addresses, innermost first): the frames between the throw
    // and the reporting catch are gone by the time the report is made.
    // Empty: the stack is walked from `Context`.
    std::vector<uint64_t> PreparedStack = {};
};

// The process's count of reports, owned by the crash reporter: the first
// report of a run is number 1.
class TReportCounter {
public:
    unsigned Next() { return ++FCount; }

private:
    std::atomic<unsigned> FCount{0};
};

struct TReportOptions {
    bool ListThreads = true, CpuRegs = true, StackDump = true, ShowDisAsm = true;
    int LimitDisAsm = 5;
    bool ShowRelAddrs = true, ShowRelLines = true;
    std::vector<AnsiString> Plugins = {"modules", "processes", "hardware"};
    uint32_t MainThreadId = 0;
    uint32_t HandlerThreadId = 0;  // the crash reporter's handler thread, never listed
};

TReportOptions ReportOptionsFrom(const TIMESettings& settings, uint32_t mainThreadId,
                                 uint32_t handlerThreadId);

class TReportBuilder {
public:
    // `names` is the thread registry's view: names and classes by thread id.
    // The plug-ins are the program's registered ones (the built-in three
    // when none are given); `options.Plugins` selects and orders them.
    TReportBuilder(TBugReport& report, IReportSystem& system, TFailure failure, TReportOptions options,
                   std::vector<TThreadEntry> names, std::vector<TReportPlugin> plugins = {});

    // Every header item in its own guard; "callstack crc" waits for the
    // completion; new items go in front of "Tobrisk version".
    void BuildHeader();
    // The thread sections, plug-in sections, "cpu registers" and "stack
    // dump" with their placeholders.
    void BuildSkeleton();
    // Writes the sections in order; false when the report was aborted.
    bool Complete();

    // Told how far each thread's stack walk has come, for the please-wait
    // window: `area` is the thread's index among the thread sections (in
    // section order, one progress area each), `position` of 1000 goes
    // 25 (items collected), 650 (items checked), 1000 (done). Called on
    // the thread that runs Complete(); set it before.
    using TProgress = std::function<void(size_t area, int position)>;
    void SetProgress(TProgress progress) { FProgress = std::move(progress); }
    // Where the error being handled arose, called inside its catch block;
    // an internal error then names its location. Set before Complete().
    using TErrorAddress = std::function<std::optional<uint64_t>()>;
    void SetErrorAddress(TErrorAddress address) { FErrorAddress = std::move(address); }
    // After BuildSkeleton: for each thread section (the progress areas, in
    // order) the bytes its walk has to go through; 0 for a stack that
    // cannot be read or whose size is unknown.
    std::vector<uint64_t> ThreadStackSizes() const;

private:
    struct TThreadSection {
        AnsiString Name;
        TThreadState State;
        bool Failing = false;
    };
    AnsiString LocationLine(uint64_t address);
    // The location line of the error being handled; empty when unknown.
    AnsiString ErrorLocationLine();
    AnsiString ThreadContent(const TThreadSection& thread, size_t area, TStackChecksums* sums = nullptr);
    std::optional<TThreadCreator> CreatorOf(const TThreadEntry& entry);
    AnsiString NotAccessibleText(const TThreadSection& thread);
    // The selected plug-ins that write a section, in `Plugins` order.
    std::vector<const TReportPlugin*> SectionPlugins() const;

    TBugReport& FReport;
    IReportSystem& FSystem;
    TFailure FFailure;
    TReportOptions FOptions;
    std::vector<TThreadEntry> FNames;
    std::vector<TReportPlugin> FPlugins;
    std::vector<TThreadSection> FThreads;
    TStackChecksums FFailingSums;
    std::vector<TStackChecksums> FOtherSums;
    TProgress FProgress;
    TErrorAddress FErrorAddress;
};

}  // namespace qr
