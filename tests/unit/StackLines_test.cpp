// The stack lines of a thread section: aligned columns over the items of
// one stack, and the test that makes a stack value a return address.
#include <gtest/gtest.h>

#include "crashreport/report/SectionFormats.h"
#include "crashreport/stack/CallCheck.h"

namespace qr {
namespace {

const std::vector<TCodeLocation> kStack = {
    {0x00401234, 0x34, "Quellora.exe", "MainUnit.cpp", "TMainForm::Crash", 1205, 3},
    {0x00402000, 0x1a0, "Quellora.exe", "Io.cpp", "TIo::Read", 7, 0},
    {0x7c801234, 0x12, "kernel32.dll", "", "BaseThreadInitThunk", 0, std::nullopt},
    {0x00000010, std::nullopt, "", "", "", 0, std::nullopt},
};

TEST(StackLines, ColumnsAlignOverTheWholeStack) {
    EXPECT_EQ(FormatStackLines(kStack, true, true, 8),
              "00401234 +034 Quellora.exe MainUnit.cpp 1205 +3 TMainForm::Crash\r\n"
              "00402000 +1a0 Quellora.exe Io.cpp          7 +0 TIo::Read\r\n"
              "7c801234 +012 kernel32.dll                      BaseThreadInitThunk\r\n"
              "00000010 +000                                   ???");
}

TEST(StackLines, OptionsLeaveTheirColumnsOutAndEmptyColumnsAreOneBlankWide) {
    EXPECT_EQ(FormatStackLines(kStack, false, false, 8),
              "00401234 Quellora.exe MainUnit.cpp 1205 TMainForm::Crash\r\n"
              "00402000 Quellora.exe Io.cpp          7 TIo::Read\r\n"
              "7c801234 kernel32.dll                   BaseThreadInitThunk\r\n"
              "00000010                                ???");
    // Only export names: the unit, line and line offset columns are one
    // blank each; 16 digits on x86-64.
    EXPECT_EQ(FormatStackLines({kStack[2]}, true, true, 16),
              "000000007c801234 +12 kernel32.dll    BaseThreadInitThunk");
    EXPECT_EQ(FormatStackLines({kStack[3]}, false, false, 8), "00000010    ???");
    EXPECT_EQ(FormatStackLines({}, true, true, 8), "");
}

TEST(CallCheck, TheCallFormsInFrontOfAReturnAddress) {
    struct TCase {
        std::vector<unsigned char> Code;  // ends at the return address
        bool Call;
    };
    const TCase cases[] = {
        {{0xE8, 1, 2, 3, 4}, true},              // call rel32
        {{0x90, 0xFF, 0xD0}, true},              // call rax
        {{0x41, 0xFF, 0xD0}, true},              // call r8
        {{0xFF, 0x10}, true},                    // call [rax]
        {{0xFF, 0x50, 0x08}, true},              // call [rax+8]
        {{0xFF, 0x14, 0x24}, true},              // call [rsp]
        {{0xFF, 0x15, 1, 2, 3, 4}, true},        // call [rip+disp32]
        {{0xFF, 0x94, 0x24, 1, 2, 3, 4}, true},  // call [rsp+disp32]
        {{0x48, 0xFF, 0x50, 0x10}, true},        // call [rax+16] with REX.W
        {{0xFF, 0xE0}, false},                   // jmp rax
        {{0x90, 0xFF, 0x20}, false},             // jmp [rax]
        {{0x48, 0x89, 0xC3}, false},             // mov rbx, rax
        {{0xFF, 0x15, 1, 2, 3}, false},          // cut short: the displacement is 4 bytes
        {{0xE8, 1, 2, 3}, false},                // only four bytes readable
    };
    for (const TCase& c : cases)
        EXPECT_EQ(IsBehindCall(c.Code.data() + c.Code.size(), c.Code.size()), c.Call)
            << std::hex << int(c.Code[0]) << " " << int(c.Code[1]);
}

}  // namespace
}  // namespace qr
