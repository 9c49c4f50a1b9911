// Call stacks of a real failure: an illegal instruction three calls deep on
// a thread of its own. A vectored handler holds the failing thread inside
// the exception, as the crash reporter's handling does, while the report
// walks its stack from the failure's context; then the thread goes on
// behind the instruction.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

#include "base/win32/Handles.h"
#include "crashreport/report/CpuContext_win32.h"
#include "crashreport/report/ReportBuilder.h"
#include "crashreport/report/ReportLayout.h"

// The x86-64 walk; the x86 build's walk is tested natively.
#if defined(_WIN64)
namespace qr {
namespace {

struct TFailureScene {
    win32::THandle Failed{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    win32::THandle Release{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    DWORD ThreadId = 0;
    CONTEXT Context{};
};
TFailureScene* gScene = nullptr;  // owned by the running test; read by the handler

// The marked lines: the failure and the two calls that lead to it.
constexpr int kFailureLine = __LINE__ + 3;
__attribute__((noinline)) void ThirdLevel() {
    asm volatile("" ::: "memory");
    asm volatile("ud2");
    asm volatile("" ::: "memory");
}
constexpr int kSecondLine = __LINE__ + 2;
__attribute__((noinline)) void SecondLevel() {
    ThirdLevel();
    asm volatile("" ::: "memory");  // no tail call: the frame stays
}
constexpr int kFirstLine = __LINE__ + 2;
__attribute__((noinline)) void FirstLevel() {
    SecondLevel();
    asm volatile("" ::: "memory");
}

LONG CALLBACK HoldTheFailingThread(EXCEPTION_POINTERS* info) {
    if (!gScene || info->ExceptionRecord->ExceptionCode != EXCEPTION_ILLEGAL_INSTRUCTION ||
        GetCurrentThreadId() != gScene->ThreadId)
        return EXCEPTION_CONTINUE_SEARCH;
    gScene->Context = *info->ContextRecord;
    SetEvent(gScene->Failed.Get());
    // Bounded: the test lets go once its report is made, or gives up.
    WaitForSingleObject(gScene->Release.Get(), 120000);
    info->ContextRecord->Rip += 2;  // behind ud2
    return EXCEPTION_CONTINUE_EXECUTION;
}

// The failing thread's section, the main thread's section and "callstack crc".
struct TStacks {
    std::vector<AnsiString> Failing, Main;
    AnsiString Crc, Text;
};

std::vector<AnsiString> SectionLines(const AnsiString& text, const std::regex& name) {
    std::vector<AnsiString> lines;
    bool inside = false;
    for (std::string_view line : SplitLines(text)) {
        if (inside && line.empty()) break;
        if (inside) lines.emplace_back(line);
        if (std::regex_match(AnsiString(line), name)) inside = true;
    }
    return lines;
}

TStacks ReportOfADeepFailure() {
    TFailureScene scene;
    gScene = &scene;
    PVOID handler = AddVectoredExceptionHandler(1, HoldTheFailingThread);
    std::thread failing([&] {
        scene.ThreadId = GetCurrentThreadId();
        FirstLevel();
    });
    // The thread id is set before the failure; the handler reads it then.
    EXPECT_EQ(WaitForSingleObject(scene.Failed.Get(), 60000), WAIT_OBJECT_0);

    auto system = CreateReportSystem();
    TFailure failure;
    failure.ExceptClass = "EIllegalInstruction";
    failure.ThreadId = scene.ThreadId;
    failure.Address = scene.Context.Rip;
    SetFailureContext(failure, scene.Context);
    TReportOptions options;
    options.Plugins.clear();
    options.MainThreadId = GetCurrentThreadId();
    TBugReport report;
    TReportBuilder builder(report, *system, failure, options, {{GetCurrentThreadId(), "main thread", ""}});
    builder.BuildHeader();
    builder.BuildSkeleton();
    builder.Complete();

    SetEvent(scene.Release.Get());
    failing.join();
    RemoveVectoredExceptionHandler(handler);
    gScene = nullptr;

    TStacks stacks;
    stacks.Text = report.Text();
    char name[64];
    std::snprintf(name, sizeof name, "thread \\$%lx:.*", static_cast<unsigned long>(scene.ThreadId));
    stacks.Failing = SectionLines(stacks.Text, std::regex(name));
    stacks.Main = SectionLines(stacks.Text, std::regex(R"(main thread \(\$[0-9a-f]+\):.*)"));
    stacks.Crc = report.Header().Get("callstack crc").value_or("");
    return stacks;
}

// "<address> +<offset> win32_tests.exe StackWalk_test.cpp <line> +<n> <function>"
std::regex OwnLine(int line, const char* function) {
    return std::regex(R"([0-9a-f]{16} \+[0-9a-f]+ win32_tests\.exe +StackWalk_test\.cpp +)" +
                      std::to_string(line) + R"( +\+\d+ +qr::\(anonymous namespace\)::)" + function);
}

TEST(StackWalkUnderWindows, AFailureThreeCallsDeepNamesItsFunctionsLinesAndTheSystemsFrames) {
    TStacks stacks = ReportOfADeepFailure();
    std::ofstream(std::filesystem::temp_directory_path() / "qr-stackwalk-sample.txt", std::ios::binary)
        << stacks.Text;
    const std::vector<AnsiString>& f = stacks.Failing;
    ASSERT_GE(f.size(), 4u) << stacks.Text;
    EXPECT_TRUE(std::regex_match(f[0], OwnLine(kFailureLine, "ThirdLevel"))) << stacks.Text;
    EXPECT_TRUE(std::regex_match(f[1], OwnLine(kSecondLine, "SecondLevel"))) << stacks.Text;
    EXPECT_TRUE(std::regex_match(f[2], OwnLine(kFirstLine, "FirstLevel"))) << stacks.Text;
    // The items form aligned columns: the module column starts alike.
    for (const AnsiString& line : f) EXPECT_EQ(line.find(' ', 17), f[0].find(' ', 17)) << line;

    // A frame in a system library named from its exports.
    const std::regex system(R"([0-9a-f]{16} \+[0-9a-f]+ (ntdll|kernel32|kernelbase)\.dll +[A-Za-z_]\w+)",
                            std::regex::icase);
    bool systemFrame = false;
    for (const AnsiString& line : f) systemFrame |= std::regex_match(line, system);
    for (const AnsiString& line : stacks.Main) systemFrame |= std::regex_match(line, system);
    EXPECT_TRUE(systemFrame) << stacks.Text;

    // The failing function's listing, the marker on the failing instruction.
    std::vector<AnsiString> listing = SectionLines(stacks.Text, std::regex("disassembling:"));
    ASSERT_GE(listing.size(), 2u) << stacks.Text;
    EXPECT_EQ(listing[0], "qr::(anonymous namespace)::ThirdLevel  ; function entry point");
    size_t marked = 0;
    for (const AnsiString& line : listing)
        if (line.size() > 17 && line[17] == '>') {
            ++marked;
            EXPECT_TRUE(std::regex_match(
                line, std::regex("[0-9a-f]{16} > +" + std::to_string(kFailureLine) + " ud2")))
                << line;
        }
    EXPECT_EQ(marked, 1u) << stacks.Text;

    // The main thread down to the program's entry.
    bool main = false, entry = false;
    for (const AnsiString& line : stacks.Main) {
        main |= line.ends_with(" main");
        entry |= line.find("mainCRTStartup") != AnsiString::npos;
    }
    EXPECT_TRUE(main && entry) << stacks.Text;
}

TEST(StackWalkUnderWindows, TwoReportsOfTheSameFailureHaveTheSameFirstTwoChecksums) {
    TStacks first = ReportOfADeepFailure(), second = ReportOfADeepFailure();
    ASSERT_EQ(first.Crc.size(), 31u) << first.Text;
    EXPECT_EQ(first.Crc.substr(0, 20), second.Crc.substr(0, 20)) << first.Text << "\n\n" << second.Text;
}

}  // namespace
}  // namespace qr
#endif

// A thread's stack that is gone (released since its context was taken) or
// a stack pointer outside committed memory: the walk's first step says the
// stack is not accessible instead of faulting or listing one item.
namespace qr {
namespace {

std::vector<unsigned char> ContextWithStackPointer(uint64_t stackPointer) {
    CONTEXT context{};
    RtlCaptureContext(&context);
#if defined(_WIN64)
    context.Rsp = stackPointer;
#else
    context.Esp = DWORD(stackPointer);
#endif
    const auto* bytes = reinterpret_cast<const unsigned char*>(&context);
    return {bytes, bytes + sizeof context};
}

TEST(StackWalkUnderWindows, AStackThatIsGoneOrNotCommittedIsNotAccessible) {
    auto system = CreateReportSystem();
    const uint64_t other = GetCurrentThreadId() + 4;  // a context is given: any thread id
    void* released = VirtualAlloc(nullptr, 0x10000, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    ASSERT_TRUE(released);
    ASSERT_TRUE(VirtualFree(released, 0, MEM_RELEASE));
    void* reserved = VirtualAlloc(nullptr, 0x10000, MEM_RESERVE, PAGE_READWRITE);
    ASSERT_TRUE(reserved);
    for (void* place : {released, reserved}) {
        std::unique_ptr<IStackWalk> walk =
            system->StackWalk(uint32_t(other), ContextWithStackPointer(uintptr_t(place) + 0x8000));
        ASSERT_TRUE(walk);
        EXPECT_THROW(walk->CollectPossibleStackItems(), EStackNotAccessible);
    }
    VirtualFree(reserved, 0, MEM_RELEASE);

    // A committed stack is walked: the calling thread from here.
    std::unique_ptr<IStackWalk> own = system->StackWalk(GetCurrentThreadId(), {});
    ASSERT_TRUE(own);
    own->CollectPossibleStackItems();
    own->RemoveRecursiveStackAreas();
    own->InDeepChecks();
    own->RealizeOptimalLinkChains();
    own->RemoveRecursiveAreas();
    EXPECT_GE(own->Frames().size(), 2u);
}

}  // namespace
}  // namespace qr
