// The note every C++ throw leaves: the call stack at the throw, return
// addresses outward, and the thrower's registers at its call. On x86 the
// code keeps no frame pointers, so both come from the DWARF unwind rows.
#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "crashreport/intercept/RuntimeHooks_win32.h"
#include "crashreport/stack/ModuleImages.h"

namespace qr {
namespace {

// Where each level returns to, as the level itself sees it.
void* volatile gReturnInto[3];

__attribute__((noinline)) void Innermost() {
    gReturnInto[0] = __builtin_return_address(0);
    throw std::runtime_error("from the innermost level");
}

__attribute__((noinline)) void Middle() {
    gReturnInto[1] = __builtin_return_address(0);
    Innermost();
    asm volatile("");  // no tail call
}

__attribute__((noinline)) void Outer() {
    gReturnInto[2] = __builtin_return_address(0);
    Middle();
    asm volatile("");
}

// Begins with inlined library code (the string's construction); the map
// names it after this file and the lines of its own statements.
int gTextLines[2];
__attribute__((noinline)) void ThrowWithText(const char* text) {
    gTextLines[0] = __LINE__;
    std::string message(text);
    message += " and more";
    gTextLines[1] = __LINE__ + 1;
    throw std::runtime_error(message);
}

struct TNoted {
    std::vector<void*> Frames;
    uintptr_t InstructionPointer = 0, StackPointer = 0;
};

__attribute__((noinline)) TNoted ThrowAndNote(void (*thrower)() = Outer) {
    try {
        thrower();
    } catch (const std::runtime_error& e) {
        const TThrowNote* note = CurrentThrowNote();
        if (!note) return {};
        EXPECT_EQ(note->Object, &e);
        TNoted noted{std::vector<void*>(note->Frames, note->Frames + note->FrameCount)};
#if defined(__x86_64__)
        noted.InstructionPointer = note->Context.Rip;
        noted.StackPointer = note->Context.Rsp;
#else
        noted.InstructionPointer = note->Context.Eip;
        noted.StackPointer = note->Context.Esp;
#endif
        return noted;
    }
    return {};
}

TEST(ThrowNote, TheStackListsEveryCallerOutwardAndTheRegistersAreTheThrowersAtItsCall) {
    const char* here = reinterpret_cast<const char*>(__builtin_frame_address(0));
    TNoted noted = ThrowAndNote();
    ASSERT_GE(noted.Frames.size(), 4u);
    // The first frame lies in the thrower, just behind its call of the
    // runtime's throw; the next ones are where each level returns to.
    const auto first = reinterpret_cast<uintptr_t>(noted.Frames[0]);
    const auto innermost = reinterpret_cast<uintptr_t>(&Innermost);
    EXPECT_GT(first, innermost);
    EXPECT_LT(first, innermost + 256);
    EXPECT_EQ(noted.Frames[1], gReturnInto[0]);
    EXPECT_EQ(noted.Frames[2], gReturnInto[1]);
    EXPECT_EQ(noted.Frames[3], gReturnInto[2]);
    EXPECT_EQ(noted.InstructionPointer, first);
    // The thrower's stack pointer: on this thread's stack, below this
    // test's frame.
    MEMORY_BASIC_INFORMATION stack{};
    ASSERT_TRUE(VirtualQuery(here, &stack, sizeof stack));
    EXPECT_GT(noted.StackPointer, reinterpret_cast<uintptr_t>(stack.AllocationBase));
    EXPECT_LT(noted.StackPointer, reinterpret_cast<uintptr_t>(here));
}

TEST(ThrowNote, TheSameThrowTwiceNotesTheSameStack) {
    // The call-stack checksums that collapse the same failure come from
    // these frames: they may not change from one throw to the next.
    std::vector<TNoted> noted;
    // One call site for both: a loop the compiler cannot unroll.
    volatile int rounds = 2;
    for (int i = 0; i < rounds; ++i) noted.push_back(ThrowAndNote());
    ASSERT_FALSE(noted[0].Frames.empty());
    EXPECT_EQ(noted[0].Frames, noted[1].Frames);
    EXPECT_EQ(noted[0].StackPointer, noted[1].StackPointer);
}

TEST(ThrowNote, AThrowSiteAfterInlinedLibraryCodeIsNamedAfterItsOwnFileAndLine) {
    // On both builds: the function's unit is its own file, not the header
    // whose code was inlined at its start, and the line is its own.
    TNoted noted = ThrowAndNote([] { ThrowWithText("text"); });
    ASSERT_FALSE(noted.Frames.empty());
    TCodeNamer namer(&LoadedModuleAt);
    const TCodeName name = namer.Name(reinterpret_cast<uintptr_t>(noted.Frames[0]) - 1);  // the call
    EXPECT_EQ(name.Module, "win32_tests.exe");
    EXPECT_EQ(name.Unit, "ThrowNote_test.cpp");
    EXPECT_NE(name.Function.find("ThrowWithText"), std::string::npos) << name.Function;
    EXPECT_EQ(name.Line, gTextLines[1]);
    // The first line of the code that holds the throw: the function's, or
    // that of its split-off cold part (x86 puts the throw there).
    EXPECT_GE(name.FirstLine, gTextLines[0] - 2);
    EXPECT_LE(name.FirstLine, gTextLines[1]);
}

}  // namespace
}  // namespace qr
