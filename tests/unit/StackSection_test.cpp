// A thread section from the walk's steps: a failing step names itself and
// ends the section's walk, the progress of the thread's area, and the
// line of the thread's creator in front of the creation place.
#include <gtest/gtest.h>

#include <stdexcept>

#include "crashreport/report/StackSection.h"

namespace qr {
namespace {

// A walk that lists two items and fails in the step named `Failing`.
class TScriptedWalk : public IStackWalk {
public:
    std::string Failing;
    bool Unreadable = false;  // the failing step finds the stack gone
    std::vector<std::string> Ran;
    void CollectPossibleStackItems() override { Run("CollectPossibleStackItems"); }
    void RemoveRecursiveStackAreas() override { Run("RemoveRecursiveStackAreas"); }
    void InDeepChecks() override { Run("InDeepChecks"); }
    void RealizeOptimalLinkChains() override { Run("RealizeOptimalLinkChains"); }
    void RemoveRecursiveAreas() override { Run("RemoveRecursiveAreas"); }
    std::vector<TStackFrame> Frames() const override { return {{0x401234, false}, {0x402010, true}}; }

private:
    void Run(const std::string& step) {
        Ran.push_back(step);
        if (step == Failing && Unreadable) throw EStackNotAccessible(step);
        if (step == Failing) throw std::runtime_error(step);
    }
};

TCodeLocation Named(const TStackFrame& frame) {
    if (frame.Address == 0x401234) return {0x401234, 0x34, "q.exe", "Main.cpp", "qr::Crash", 20, 2};
    return {frame.Address, 0x10, "q.exe", "Main.cpp", "qr::Caller", 131, 1};
}

TEST(StackSection, EachStepInItsOwnGuardWithTheAreaAdvancing) {
    const std::vector<std::string> steps = {
        "CollectPossibleStackItems", "RemoveRecursiveStackAreas", "InDeepChecks",
        "RealizeOptimalLinkChains",  "RemoveRecursiveAreas",      "FillFinalOutput"};
    for (const std::string& failing : steps) {
        SCOPED_TRACE(failing);
        TScriptedWalk walk;
        walk.Failing = failing;
        std::vector<int> positions;
        TStackSectionInput input;
        input.Walk = &walk;
        input.Name = [&](const TStackFrame& f) {
            if (failing == "FillFinalOutput") throw std::runtime_error("names");
            return Named(f);
        };
        input.Progress = [&](int p) { positions.push_back(p); };
        TStackChecksums sums;
        sums.First = 77;
        EXPECT_EQ(StackSectionText(input, &sums), ">> internal error in " + failing);
        // The steps behind the failing one do not run; the checksums stay.
        EXPECT_EQ(walk.Ran.back(), failing == "FillFinalOutput" ? "RemoveRecursiveAreas" : failing);
        EXPECT_EQ(sums.First, 77u);
        EXPECT_EQ(positions, (std::vector<int>{25, 650, 1000}));
    }

    TScriptedWalk walk;
    TStackSectionInput input;
    input.Walk = &walk;
    input.Name = Named;
    TStackChecksums sums;
    const std::vector<TCodeLocation> items = {Named({0x401234, false}), Named({0x402010, true})};
    EXPECT_EQ(StackSectionText(input, &sums), FormatStackLines(items, true, true));
    EXPECT_EQ(walk.Ran.size(), 5u);
    EXPECT_EQ(sums.Running, StackChecksums({{0x401234, 0x401200, "q.exe", "Main.cpp", "qr::Crash", 20},
                                            {0x402010, 0x402000, "q.exe", "Main.cpp", "qr::Caller", 131}})
                                .Running);
}

TEST(StackSection, AKnownErrorAddressGivesItsLineAndAGoneStackItsOwnText) {
    TScriptedWalk walk;
    walk.Failing = "InDeepChecks";
    TStackSectionInput input;
    input.Walk = &walk;
    input.Name = Named;
    input.ErrorLocation = [] { return AnsiString("00401500 +0 q.exe ???"); };
    EXPECT_EQ(StackSectionText(input, nullptr),
              ">> internal error in InDeepChecks:\r\n00401500 +0 q.exe ???");
    // Unknown, or failing itself: the step's name alone.
    TScriptedWalk second;
    second.Failing = "RemoveRecursiveAreas";
    input.Walk = &second;
    input.ErrorLocation = [] { return AnsiString(); };
    EXPECT_EQ(StackSectionText(input, nullptr), ">> internal error in RemoveRecursiveAreas");
    TScriptedWalk third;
    third.Failing = "RemoveRecursiveAreas";
    input.Walk = &third;
    input.ErrorLocation = []() -> AnsiString { throw std::runtime_error("no name"); };
    EXPECT_EQ(StackSectionText(input, nullptr), ">> internal error in RemoveRecursiveAreas");

    TScriptedWalk gone;
    gone.Failing = "CollectPossibleStackItems";
    gone.Unreadable = true;
    input.Walk = &gone;
    input.NotAccessible = ">> stack not accessible, exception location: \r\n00401234 +34 q.exe";
    std::vector<int> positions;
    input.Progress = [&](int p) { positions.push_back(p); };
    TStackChecksums sums;
    sums.First = 5;
    EXPECT_EQ(StackSectionText(input, &sums), input.NotAccessible);
    EXPECT_EQ(gone.Ran.size(), 1u);
    EXPECT_EQ(sums.First, 5u);
    EXPECT_EQ(positions, (std::vector<int>{25, 650, 1000}));
}

TEST(StackSection, TheCreatorsLineStandsBeforeTheCreationPlace) {
    TScriptedWalk walk;
    TStackSectionInput input;
    input.Walk = &walk;
    input.Name = Named;
    input.ShowRelLines = false;
    TCodeLocation place{0x40a000, 0x1000, "q.exe", "Start.cpp", "qr::StartThreads", 7, 0};
    input.Creator = TThreadCreator{"main thread ($10)", place};
    std::vector<TCodeLocation> all = {Named({0x401234, false}), Named({0x402010, true}), place};
    // The creation place shares the stack's columns.
    AnsiString lines = FormatStackLines(all, true, false);
    size_t last = lines.rfind("\r\n");
    EXPECT_EQ(StackSectionText(input, nullptr),
              lines.substr(0, last) + "\r\n>> created by main thread ($10) at:" + lines.substr(last));
    EXPECT_EQ(WithCreatorLine("only", "thread $5"), ">> created by thread $5 at:\r\nonly");
}

}  // namespace
}  // namespace qr
