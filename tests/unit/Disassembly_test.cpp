// The "disassembling" listing over real x86 code: labels, the marker
// column, separators, line numbers, and the LimitDisAsm cut, whose line
// counting is easy to get wrong by one.
#include <gtest/gtest.h>

#include "base/Text.h"
#include "crashreport/stack/Disassembly.h"

namespace qr {
namespace {

// if (ecx == 0) return 1; else return 0 -- with a frame.
TDisasmFunction Sample(uint64_t marked, bool is64 = true) {
    TDisasmFunction f;
    f.Start = 0x1000;
    f.Code = {0x55,                               // 1000 push rbp
              0x48, 0x89, 0xe5,                   // 1001 mov rbp, rsp
              0x85, 0xc9,                         // 1004 test ecx, ecx
              0x74, 0x03,                         // 1006 je 100b
              0x31, 0xc0,                         // 1008 xor eax, eax
              0xc3,                               // 100a ret
              0xb8, 0x01, 0x00, 0x00, 0x00,       // 100b mov eax, 1
              0x5d,                               // 1010 pop rbp
              0xc3};                              // 1011 ret
    if (!is64) f.Code.erase(f.Code.begin() + 1);  // mov ebp, esp without REX
    f.Name = "qr::Sample";
    f.Marked = marked;
    f.Is64 = is64;
    f.LineOf = [](uint64_t a) { return a < 0x1008 ? 9 : 12; };
    return f;
}

const char* const kSeparator = "; ---------------------------------------------------------";

std::vector<AnsiString> Lines(const AnsiString& text) {
    std::vector<AnsiString> lines;
    size_t from = 0;
    for (;;) {
        size_t at = text.find("\r\n", from);
        lines.push_back(text.substr(from, at - from));
        if (at == AnsiString::npos) return lines;
        from = at + 2;
    }
}

TEST(Disassembly, TheWholeFunctionWithLabelsMarkerAndSeparators) {
    EXPECT_EQ(Lines(FormatDisassembly(Sample(0x1008), 0, 8)),
              (std::vector<AnsiString>{
                  "qr::Sample  ; function entry point", "00001000    9 push rbp",
                  "00001001    9 mov rbp, rsp", "00001004    9 test ecx, ecx", "00001006    9 je 0x100b",
                  "00001008 > 12 xor eax, eax", "0000100a   12 ret", kSeparator, "", "loc_0000100b",
                  "0000100b   12 mov eax, 1", "00001010   12 pop rbp", "00001011   12 ret", kSeparator}));
    // 16 digits move the marker to the 18th character; no name: "sub_".
    TDisasmFunction unnamed = Sample(0x1004);
    unnamed.Name.clear();
    unnamed.LineOf = nullptr;
    std::vector<AnsiString> lines = Lines(FormatDisassembly(unnamed, 0, 16));
    EXPECT_EQ(lines[0], "sub_0000000000001000  ; function entry point");
    EXPECT_EQ(lines[3], "0000000000001004 > test ecx, ecx");
    EXPECT_EQ(lines[3].find('>'), 17u);
    // 32-bit code.
    EXPECT_EQ(Lines(FormatDisassembly(Sample(0x1003, false), 0, 8))[3], "00001003 >  9 test ecx, ecx");
}

TEST(Disassembly, LimitDisAsmCountsEveryListedLine) {
    // The marked line is the 6th listed line: 5 * 12 / 10 = 6 are allowed
    // up to it, so nothing is cut in front; 5 lines follow, then the cut.
    EXPECT_EQ(
        Lines(FormatDisassembly(Sample(0x1008), 5, 8)),
        (std::vector<AnsiString>{"qr::Sample  ; function entry point", "00001000    9 push rbp",
                                 "00001001    9 mov rbp, rsp", "00001004    9 test ecx, ecx",
                                 "00001006    9 je 0x100b", "00001008 > 12 xor eax, eax", "0000100a   12 ret",
                                 kSeparator, "", "loc_0000100b", "0000100b   12 mov eax, 1", "[...]"}));
    // The 7th line: what lies before its 5 predecessors becomes "[...]".
    EXPECT_EQ(
        Lines(FormatDisassembly(Sample(0x100a), 5, 8)),
        (std::vector<AnsiString>{
            "[...]", "00001000    9 push rbp", "00001001    9 mov rbp, rsp", "00001004    9 test ecx, ecx",
            "00001006    9 je 0x100b", "00001008   12 xor eax, eax", "0000100a > 12 ret", kSeparator, "",
            "loc_0000100b", "0000100b   12 mov eax, 1", "00001010   12 pop rbp", "[...]"}));
    // Near the end nothing follows the last line; a label counts as a line.
    std::vector<AnsiString> tail = Lines(FormatDisassembly(Sample(0x1011), 2, 8));
    EXPECT_EQ(tail, (std::vector<AnsiString>{"[...]", "0000100b   12 mov eax, 1", "00001010   12 pop rbp",
                                             "00001011 > 12 ret", kSeparator}));
    std::vector<AnsiString> label = Lines(FormatDisassembly(Sample(0x100b), 2, 8));
    EXPECT_EQ(label, (std::vector<AnsiString>{"[...]", "", "loc_0000100b", "0000100b > 12 mov eax, 1",
                                              "00001010   12 pop rbp", "00001011   12 ret", "[...]"}));
}

}  // namespace
}  // namespace qr
