// The "disassembling" listing over real x86 code: labels, the marker
// column, separators, line numbers, and the LimitDisAsm cut, whose line
// counting is easy to get wrong by one.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

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

// switch (ecx) { case 0: return 1; case 1: return 2; default: return 0; }
// as GCC makes it: a bounds check, then a jump through a table at 0x2000.
TDisasmFunction Switch(bool is64) {
    TDisasmFunction f;
    f.Start = 0x1000;
    f.Is64 = is64;
    if (is64)
        f.Code = {0x83, 0xf9, 0x01,                          // 1000 cmp ecx, 1
                  0x77, 0x1c,                                // 1003 ja 1021
                  0x48, 0x8d, 0x15, 0xf4, 0x0f, 0x00, 0x00,  // 1005 lea rdx, [rip + 0xff4]
                  0x48, 0x63, 0x04, 0x8a,                    // 100c movsxd rax, [rdx + rcx*4]
                  0x48, 0x01, 0xd0,                          // 1010 add rax, rdx
                  0xff, 0xe0};                               // 1013 jmp rax
    else
        f.Code = {0x83, 0xf8, 0x01,                                         // 1000 cmp eax, 1
                  0x77, 0x1a,                                               // 1003 ja 101f
                  0xff, 0x24, 0x85, 0x00, 0x20, 0x00, 0x00,                 // 1005 jmp [eax*4 + 0x2000]
                  0x90, 0x90, 0x90, 0x90, 0x90, 0x90, 0x90, 0x90,           // 100c
                  0x90};                                                    // 1014
    const std::vector<unsigned char> cases = {0xb8, 1,    0,   0, 0, 0xc3,  // 1015 mov eax, 1; ret
                                              0xb8, 2,    0,   0, 0, 0xc3,  // 101b mov eax, 2; ret
                                              0x31, 0xc0, 0xc3};            // 1021 xor eax, eax; ret
    f.Code.insert(f.Code.end(), cases.begin(), cases.end());
    f.Marked = 0x1000;
    return f;
}

TEST(Disassembly, CaseJumpTablesOfGccSwitchCodeAreListed) {
    for (bool is64 : {true, false}) {
        SCOPED_TRACE(is64 ? "x86-64" : "x86");
        TDisasmFunction f = Switch(is64);
        // x86-64 tables hold offsets from the table, x86 tables addresses.
        std::map<uint64_t, uint32_t> data = {{0x2000, is64 ? uint32_t(0x1015 - 0x2000) : 0x1015},
                                             {0x2004, is64 ? uint32_t(0x101b - 0x2000) : 0x101b}};
        f.ReadData = [&](uint64_t a) -> std::optional<uint32_t> {
            if (!data.count(a)) return std::nullopt;
            return data[a];
        };
        std::vector<AnsiString> lines = Lines(FormatDisassembly(f, 0, 8));
        auto jump = std::find_if(lines.begin(), lines.end(),
                                 [](const AnsiString& l) { return l.find(" jmp ") != AnsiString::npos; });
        ASSERT_NE(jump, lines.end());
        ASSERT_GE(lines.end() - jump, 4);
        EXPECT_EQ(jump[1], "  dd loc_00001015  ; case jump table");
        EXPECT_EQ(jump[2], "  dd loc_0000101b");
        EXPECT_EQ(jump[3], kSeparator);
        EXPECT_NE(std::find(lines.begin(), lines.end(), "loc_0000101b"), lines.end());

        // An entry outside the function, an unreadable table or a missing
        // bound: no table is listed.
        data[0x2004] = is64 ? uint32_t(0x3000 - 0x2000) : 0x3000;
        AnsiString outside = FormatDisassembly(f, 0, 8);
        EXPECT_EQ(outside.find(" dd "), AnsiString::npos);
        f.ReadData = nullptr;
        EXPECT_EQ(FormatDisassembly(f, 0, 8).find(" dd "), AnsiString::npos);
        f = Switch(is64);
        f.ReadData = [](uint64_t a) -> std::optional<uint32_t> { return a == 0x2000 ? 0x1015 : 0x101b; };
        f.Code[0] = 0x90, f.Code[1] = 0x90, f.Code[2] = 0x90;  // no "cmp"
        EXPECT_EQ(FormatDisassembly(f, 0, 8).find(" dd "), AnsiString::npos);
    }
}

}  // namespace
}  // namespace qr
