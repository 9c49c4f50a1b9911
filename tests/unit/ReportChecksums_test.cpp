// Call-stack checksums against values computed by hand (with an
// independent CRC-32 implementation, inverting its usual pre- and
// post-conditioning).
#include <gtest/gtest.h>

#include "crashreport/report/Checksums.h"

namespace qr {
namespace {

TEST(CallstackChecksums, TheCrcStepHasNoInversions) {
    // The usual check value of CRC-32 appears once the inversions are added.
    EXPECT_EQ(Crc32Update(0xFFFFFFFFu, "123456789", 9) ^ 0xFFFFFFFFu, 0xCBF43926u);
    EXPECT_EQ(Crc32Update(0, "a", 1), 0x3ab551ceu);
    EXPECT_EQ(Crc32Update(0x1234, "", 0), 0x1234u);
}

TStackItemName Named() {
    return {0x401234, 0x401200, "Quellora-Remote.exe", "MainUnit", "TMainForm.FormCreate", 42};
}

TEST(CallstackChecksums, ItemValues) {
    EXPECT_EQ(StackItemValue(Named()), 0x0c468f5bu);
    // No unit: the unit is not part of the value.
    EXPECT_EQ(
        StackItemValue({0x7ff800000010ull, 0x7ff800000000ull, "KERNEL32.DLL", "", "BaseThreadInitThunk", 0}),
        0xb537d453u);
    // Without a known function the address itself, taken modulo 2^32.
    EXPECT_EQ(StackItemValue({0x7ff812345678ull, 0, "ntdll.dll", "", "", 0}), 0x12345678u);
    EXPECT_EQ(StackItemValue({0x401234, 0x401200, "m", "", "", 0}), 0x401234u);
}

TEST(CallstackChecksums, StackValuesAndTheHeaderText) {
    std::vector<TStackItemName> stack = {
        Named(),
        {0x7ff812345678ull, 0, "ntdll.dll", "", "", 0},
        {0x7ff800000010ull, 0x7ff800000000ull, "kernel32.dll", "", "BaseThreadInitThunk", 0}};
    TStackChecksums sums = StackChecksums(stack);
    EXPECT_EQ(sums.First, 0x0c468f5bu);
    EXPECT_EQ(sums.Running, 0xa8ac7c9du);
    EXPECT_TRUE(sums.HasLine);

    TStackChecksums withLine{1, 0xdeadbeef, true}, withoutLine{2, 0x01020304, false};
    AnsiString text = CallstackCrcText(sums, {withLine, withoutLine});
    EXPECT_EQ(text, "$0c468f5b, $a8ac7c9d, $f360cf71");
    EXPECT_EQ(text.size(), 31u);
    EXPECT_EQ(CallstackCrcText(sums, {withoutLine}), "$0c468f5b, $a8ac7c9d, $a8ac7c9d");

    TStackChecksums empty = StackChecksums({});
    EXPECT_EQ(CallstackCrcText(empty, {}), "$00000000, $00000000, $00000000");
}

}  // namespace
}  // namespace qr
