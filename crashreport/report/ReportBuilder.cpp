#include "crashreport/report/ReportBuilder.h"

#include <functional>

#include "crashreport/settings/Settings.h"
#include "crashreport/report/HeaderFormats.h"

namespace qr {

namespace {

const char* const kTobriskVersion = "3.0o";
constexpr size_t kStackDumpBytes = 20 * 16;

AnsiString FileNameOnly(const AnsiString& path) {
    size_t slash = path.find_last_of("\\/");
    return slash == AnsiString::npos ? path : path.substr(slash + 1);
}

}  // namespace

TReportOptions ReportOptionsFrom(const TIMESettings& s, uint32_t mainThreadId, uint32_t handlerThreadId) {
    TReportOptions options;
    options.ListThreads = s.GetBoolean("ListThreads");
    options.CpuRegs = s.GetBoolean("CpuRegs");
    options.StackDump = s.GetBoolean("StackDump");
    options.ShowDisAsm = s.GetBoolean("ShowDisAsm");
    options.LimitDisAsm = int(s.GetInteger("LimitDisAsm"));
    options.ShowRelAddrs = s.GetBoolean("ShowRelAddrs");
    options.ShowRelLines = s.GetBoolean("ShowRelLines");
    options.Plugins.clear();
    for (const UString& plugin : s.Plugins()) options.Plugins.push_back(UnicodeToAnsi(plugin));
    options.MainThreadId = mainThreadId;
    options.HandlerThreadId = handlerThreadId;
    return options;
}

TReportBuilder::TReportBuilder(TBugReport& report, IReportSystem& system, TFailure failure,
                               TReportOptions options, std::vector<TThreadEntry> names,
                               std::vector<TReportPlugin> plugins)
    : FReport(report),
      FSystem(system),
      FFailure(std::move(failure)),
      FOptions(std::move(options)),
      FNames(std::move(names)),
      FPlugins(plugins.empty() ? BuiltInPlugins(system) : std::move(plugins)) {}

std::vector<const TReportPlugin*> TReportBuilder::SectionPlugins() const {
    std::vector<const TReportPlugin*> selected;
    for (const AnsiString& name : FOptions.Plugins)
        for (const TReportPlugin& plugin : FPlugins)
            if (SameText(plugin.Name, name) && plugin.OwnSection) {
                selected.push_back(&plugin);
                break;
            }
    return selected;
}

void TReportBuilder::BuildHeader() {
    std::vector<TReportField> items;
    auto item = [&](const char* name, const std::function<AnsiString()>& value) {
        try {
            items.emplace_back(name, value());
        } catch (...) {
            // A failing item is left out.
        }
    };
    IReportSystem& s = FSystem;
    item("date/time", [&] { return FormatFailureTime(FFailure.Time); });
    item("computer name", [&] { return s.ComputerName(); });
    item("wts client name", [&] { return s.RemoteClientName(); });
    item("user name", [&] {
        AnsiString name = s.UserName();
        return name.empty() || !s.UserIsAdministrator() ? name : name + "  <admin>";
    });
    item("registered owner", [&] {
        AnsiString owner = s.RegisteredOwner(), organization = s.RegisteredOrganization();
        return organization.empty() ? owner : owner + " / " + organization;
    });
    item("operating system", [&] { return OperatingSystemItem(s.OperatingSystem()); });
    item("system language", [&] { return s.SystemLanguage(); });
    item("system up time", [&] { return FormatDuration(s.SystemUpTime()); });
    item("program up time", [&] { return FormatProgramUpTime(FFailure.ProgramUpTime); });
    try {
        auto [name, value] = ProcessorItem(s.ProcessorName(), s.ProcessorCount());
        items.emplace_back(name, value);
    } catch (...) {
    }
    item("physical memory", [&] {
        auto [free, total] = s.PhysicalMemory();
        return FormatPhysicalMemory(free, total);
    });
    item("free disk space",
         [&] { return FormatFreeDiskSpace(s.SystemDrive(), s.ProgramDrive(), s.DecimalSeparator()); });
    item("display mode", [&] {
        IReportSystem::TDisplay d = s.DisplayMode();
        return FormatDisplayMode(d.Width, d.Height, d.Bits);
    });
    item("process id", [&] { return "$" + Hex(s.ProcessId()); });
    item("allocated memory", [&] { return FormatSize(s.AllocatedMemory(), s.DecimalSeparator()); });
    item("command line", [&] { return s.CommandLine(); });
    item("executable", [&] { return FileNameOnly(s.ProgramFileName()); });
    item("exec. date/time", [&] {
        std::optional<TLocalTime> t = s.ProgramFileTime();
        return t ? FormatFileTime(*t) : AnsiString();
    });
    item("version", [&] { return s.ProgramVersion(); });
    item("compiled with", [] { return CompiledWith(); });
    item("Tobrisk version", [] { return AnsiString(kTobriskVersion); });
    item("callstack crc", [] { return AnsiString("will be calculated soon"); });
    item("exception number", [&] { return std::to_string(FFailure.Number); });
    const AnsiString className = FFailure.ExceptClass.empty() ? "Unknown" : FFailure.ExceptClass;
    item("exception class", [&] { return className; });
    item("exception message", [&] {
        AnsiString message =
            FFailure.ExceptMessage ? UnicodeToAnsi(Utf8ToUnicode(*FFailure.ExceptMessage)) : className;
        AnsiString text = ExceptionMessageText(message);
        return text == ExceptionMessageText(className) ? AnsiString() : text;
    });

    TIMEFields& header = FReport.Header();
    for (const TReportField& f : items) header.Set(f.first, f.second);
    if (std::optional<size_t> at = header.IndexOf("Tobrisk version")) header.SetInsertPosition(*at);
}

AnsiString TReportBuilder::LocationLine(uint64_t address) {
    TCodeLocation location{address, std::nullopt, "", "", "", 0, std::nullopt};
    try {
        location = FSystem.Locate(address);
    } catch (...) {
        location = {address, std::nullopt, "", "", "", 0, std::nullopt};
    }
    return FormatLocationLine(location, FOptions.ShowRelAddrs, FOptions.ShowRelLines);
}

AnsiString TReportBuilder::ErrorLocationLine() {
    std::optional<uint64_t> address;
    try {
        if (FErrorAddress) address = FErrorAddress();
    } catch (...) {
        address.reset();
    }
    return address ? LocationLine(*address) : AnsiString();
}

void TReportBuilder::BuildSkeleton() {
    std::vector<TThreadState> threads;
    try {
        threads = FSystem.Threads();
    } catch (...) {
        threads.clear();
    }
    auto named = [&](TThreadState state) {
        for (const TThreadEntry& entry : FNames)
            if (entry.Id == state.Entry.Id) state.Entry = entry;
        return state;
    };
    auto find = [&](uint32_t id) -> std::optional<TThreadState> {
        for (const TThreadState& t : threads)
            if (t.Entry.Id == id) return named(t);
        return std::nullopt;
    };

    FThreads.clear();
    TThreadState failing = find(FFailure.ThreadId).value_or(named(TThreadState{{FFailure.ThreadId, "", ""}}));
    if (FFailure.HasContext || FFailure.Address) failing.InstructionPointer = FFailure.Address;
    if (FFailure.HasContext) failing.StackPointer = FFailure.StackPointer;
    FThreads.push_back({ThreadDescription(failing.Entry, true), failing, true});
    // Without ListThreads the failing thread is the only one.
    if (FOptions.ListThreads && FOptions.MainThreadId && FOptions.MainThreadId != FFailure.ThreadId) {
        if (std::optional<TThreadState> main = find(FOptions.MainThreadId))
            FThreads.push_back({ThreadDescription(main->Entry, false), *main, false});
    }
    if (FOptions.ListThreads) {
        for (const TThreadState& t : threads) {
            uint32_t id = t.Entry.Id;
            if (id == FFailure.ThreadId || id == FOptions.MainThreadId || id == FOptions.HandlerThreadId)
                continue;
            TThreadState state = named(t);
            AnsiString description = ThreadDescription(state.Entry, false);
            if (!description.empty()) FThreads.push_back({description, state, false});
        }
    }

    TIMEFields& sections = FReport.Sections();
    for (TThreadSection& thread : FThreads) {
        if (thread.Name.empty()) continue;
        thread.Name = ThreadSectionName(thread.Name, thread.State.Suspended, thread.State.Priority);
        AnsiString placeholder = thread.State.Accessible ? LocationLine(thread.State.InstructionPointer) +
                                                               "\r\n>> stack will be calculated soon"
                                                         : NotAccessibleText(thread);
        sections.Set(thread.Name, placeholder);
    }
    for (const TReportPlugin* plugin : SectionPlugins()) sections.Set(plugin->Name, kCalculatedSoon);
    if (FOptions.CpuRegs && FFailure.HasContext) sections.Set("cpu registers", kCalculatedSoon);
    if (FOptions.StackDump && FFailure.HasContext) sections.Set("stack dump", kCalculatedSoon);
    if (FOptions.ShowDisAsm && FFailure.Address) sections.Set("disassembling", kCalculatedSoon);
}

AnsiString TReportBuilder::NotAccessibleText(const TThreadSection& thread) {
    AnsiString text = ">> stack not accessible";
    if (thread.Failing) text += ", exception location: \r\n" + LocationLine(thread.State.InstructionPointer);
    return text;
}

std::optional<TThreadCreator> TReportBuilder::CreatorOf(const TThreadEntry& entry) {
    if (!entry.CreatorId || !entry.CreatedAt) return std::nullopt;
    TThreadEntry creator{entry.CreatorId, "", ""};
    for (const TThreadEntry& known : FNames)
        if (known.Id == entry.CreatorId) creator = known;
    // The crash reporter's own threads are named here too.
    return TThreadCreator{ThreadDescription(creator, true), FSystem.NameFrame({entry.CreatedAt, true})};
}

std::vector<uint64_t> TReportBuilder::ThreadStackSizes() const {
    std::vector<uint64_t> sizes;
    for (const TThreadSection& thread : FThreads)
        sizes.push_back(thread.State.Accessible ? FSystem.StackRangeSize(thread.State.StackPointer) : 0);
    return sizes;
}

AnsiString TReportBuilder::ThreadContent(const TThreadSection& thread, size_t area, TStackChecksums* sums) {
    auto progress = [&](int position) {
        if (FProgress) FProgress(area, position);
    };
    if (!thread.State.Accessible) {
        progress(1000);
        return NotAccessibleText(thread);
    }
    std::unique_ptr<IStackWalk> walk;
    if (thread.Failing && !FFailure.PreparedStack.empty()) {
        std::vector<TStackFrame> frames;
        for (uint64_t address : FFailure.PreparedStack) frames.push_back({address, true});
        walk = std::make_unique<TListedStackWalk>(std::move(frames));
    } else {
        walk = FSystem.StackWalk(thread.State.Entry.Id,
                                 thread.Failing ? FFailure.Context : thread.State.Context);
    }
    if (!walk) {
        // No walk: the innermost item alone.
        progress(1000);
        if (sums) *sums = StackChecksums({TStackItemName{thread.State.InstructionPointer, 0, "", "", "", 0}});
        return LocationLine(thread.State.InstructionPointer);
    }
    TStackSectionInput input;
    input.Walk = walk.get();
    input.Name = [this](const TStackFrame& frame) { return FSystem.NameFrame(frame); };
    input.ShowRelAddrs = FOptions.ShowRelAddrs;
    input.ShowRelLines = FOptions.ShowRelLines;
    try {
        input.Creator = CreatorOf(thread.State.Entry);
    } catch (...) {
        // Without its creator the stack is still worth listing.
        input.Creator.reset();
    }
    input.Progress = progress;
    input.ErrorLocation = [this] { return ErrorLocationLine(); };
    input.NotAccessible = NotAccessibleText(thread);
    return StackSectionText(input, sums);
}

bool TReportBuilder::Complete() {
    std::vector<TReportStep> steps;
    size_t areas = 0;
    auto threadStep = [&](const TThreadSection& thread) {
        steps.push_back({thread.Name, "GetThreadReport", [this, &thread, area = areas++] {
                             TStackChecksums sums;
                             AnsiString text = ThreadContent(thread, area, &sums);
                             if (thread.Failing)
                                 FFailingSums = sums;
                             else if (thread.State.Accessible)
                                 FOtherSums.push_back(sums);
                             return text;
                         }});
    };
    FOtherSums.clear();
    FFailingSums = {};
    if (!FThreads.empty() && !FThreads.front().Name.empty()) threadStep(FThreads.front());
    if (FOptions.CpuRegs && FFailure.HasContext)
        steps.push_back(
            {"cpu registers", "GetCpuRegisters", [this] { return FormatCpuRegisters(FFailure.Registers); }});
    if (FOptions.StackDump && FFailure.HasContext)
        steps.push_back({"stack dump", "GetStackDump", [this] {
                             std::vector<unsigned char> bytes =
                                 FSystem.ReadStack(FFailure.StackPointer, kStackDumpBytes);
                             return FormatStackDump(FFailure.StackPointer, bytes.data(), bytes.size());
                         }});
    if (FOptions.ShowDisAsm && FFailure.Address)
        steps.push_back({"disassembling", "GetCleartextDisAsm",
                         [this] { return FSystem.Disassembling(FFailure.Address, FOptions.LimitDisAsm); }});
    for (const TReportPlugin* plugin : SectionPlugins())
        steps.push_back({plugin->Name, "plugin", plugin->Content});
    for (size_t i = 1; i < FThreads.size(); ++i)
        if (!FThreads[i].Name.empty()) threadStep(FThreads[i]);
    return RunCompletion(
        FReport, steps, [this] { return CallstackCrcText(FFailingSums, FOtherSums); },
        [this] { return ErrorLocationLine(); });
}

}  // namespace qr
