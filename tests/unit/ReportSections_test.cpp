// Section names of threads and the layout of the sections that need no
// stack walk.
#include <gtest/gtest.h>

#include <vector>

#include "crashreport/report/SectionFormats.h"
#include "crashreport/report/ThreadNames.h"

namespace qr {
namespace {

TEST(ThreadSections, DescriptionsAndNames) {
    EXPECT_EQ(ThreadDescription({0x1a4, "main thread", ""}, false), "main thread ($1a4)");
    EXPECT_EQ(ThreadDescription({0x1a4, "", "TIdThread"}, false), "thread $1a4 (TIdThread)");
    EXPECT_EQ(ThreadDescription({0xb0c, "", ""}, false), "thread $b0c");
    // Threads named "-" and the crash reporter's own are left out unless they failed.
    EXPECT_EQ(ThreadDescription({0x10, "-", "TListener"}, false), "");
    EXPECT_EQ(ThreadDescription({0x10, "-", "TListener"}, true), "thread $10 (TListener)");
    for (const char* own :
         {"Tobrisk - HandleExceptionThread", "Tobrisk - AntiFreezeThread", "Tobrisk - TraceProcessThread"}) {
        EXPECT_EQ(ThreadDescription({0x20, own, ""}, false), "") << own;
        EXPECT_EQ(ThreadDescription({0x20, own, ""}, true), AnsiString(own) + " ($20)");
    }
    EXPECT_EQ(ThreadSectionName("main thread ($1a4)", false, 0), "main thread ($1a4):");
    EXPECT_EQ(ThreadSectionName("thread $b0c", true, 2), "thread $b0c: <suspended> <priority:2>");
    EXPECT_EQ(ThreadSectionName("thread $b0c", false, -15), "thread $b0c: <priority:-15>");
}

TEST(SectionFormats, LocationLines) {
    TCodeLocation bare{0x401234, std::nullopt, "", "", "", 0, std::nullopt};
    EXPECT_EQ(FormatLocationLine(bare, true, true, 8), "00401234 +0 ???");
    EXPECT_EQ(FormatLocationLine(bare, false, true, 16), "0000000000401234 ???");
    TCodeLocation full{0x401234, 0x34, "quellora-remote.exe", "MainUnit", "TMainForm.FormCreate", 120, 3};
    EXPECT_EQ(FormatLocationLine(full, true, true, 8),
              "00401234 +34 quellora-remote.exe MainUnit 120 +3 TMainForm.FormCreate");
    EXPECT_EQ(FormatLocationLine(full, false, false, 8),
              "00401234 quellora-remote.exe MainUnit 120 TMainForm.FormCreate");
    TCodeLocation module{0x7ff800001000ull, std::nullopt, "ntdll.dll", "", "", 0, std::nullopt};
    EXPECT_EQ(FormatLocationLine(module, true, true, 16), "00007ff800001000 +0 ntdll.dll  ???");
    TCodeLocation unitless{0x401234, 0x10,        "app.exe", "", "__cxxabiv1::__terminate(void (*)())",
                           0,        std::nullopt};
    EXPECT_EQ(FormatLocationLine(unitless, false, true, 8),
              "00401234 app.exe  __cxxabiv1::__terminate(void (*)())");
}

TEST(SectionFormats, CpuRegisters) {
    EXPECT_EQ(FormatCpuRegisters({{"eax", 0x1}, {"eip", 0x401234}}, 8), "eax = 00000001\r\neip = 00401234");
    EXPECT_EQ(FormatCpuRegisters({{"rax", 0xfedcba9876543210ull}}, 16), "rax = fedcba9876543210");
}

TEST(SectionFormats, StackDumpLinesAndTheRegionsEnd) {
    std::vector<unsigned char> bytes;
    for (int i = 0; i < 20; ++i)
        bytes.push_back(static_cast<unsigned char>(i == 0 ? 'A' : i == 1 ? ' ' : 30 + i));
    AnsiString dump = FormatStackDump(0x12ff00, bytes.data(), bytes.size(), 8);
    EXPECT_EQ(dump,
              "0012ff00  41 20 20 21 22 23 24 25 - 26 27 28 29 2a 2b 2c 2d  A..!\"#$%&'()*+,-\r\n"
              "0012ff10  2e 2f 30 31                                        ./01");
    // Never more than 20 lines.
    std::vector<unsigned char> big(16 * 25, 0x7f);
    AnsiString full = FormatStackDump(0x1000, big.data(), big.size(), 16);
    EXPECT_EQ(std::count(full.begin(), full.end(), '\n'), 19);
    EXPECT_TRUE(full.starts_with("0000000000001000  7f 7f"));
    EXPECT_TRUE(full.ends_with(
        "0000000000001130  7f 7f 7f 7f 7f 7f 7f 7f - 7f 7f 7f 7f 7f 7f 7f 7f  ................"));
    EXPECT_EQ(FormatStackDump(0x1000, nullptr, 0, 8), "");
}

TEST(SectionFormats, ModulesInAddressOrderWithPaddedColumns) {
    AnsiString text = FormatModules({{0x7ff80000, "ntdll.dll", "10.0.1", "C:\\windows\\system32"},
                                     {0x400000, "quellora-remote.exe", "", "C:\\Program Files\\Quellora\\"}},
                                    8);
    EXPECT_EQ(text,
              "00400000 quellora-remote.exe        C:\\Program Files\\Quellora\\\r\n"
              "7ff80000 ntdll.dll           10.0.1 C:\\windows\\system32\\");
}

TEST(SectionFormats, ProcessesWithIdleAndOptionalColumns) {
    std::vector<TProcessLine> list = {{0, "", std::nullopt, std::nullopt, std::nullopt, 0, ""},
                                      {0x1f4, "explorer.exe", 1, 30, 12, 0x20, "C:\\windows\\explorer.exe"},
                                      {0x10, "svc.exe", 0, std::nullopt, std::nullopt, 0x8000, "C:\\svc.exe"},
                                      {0x20, "odd.exe", std::nullopt, 1, 2, 0x12345, ""}};
    EXPECT_EQ(FormatProcesses(list), "000 Idle" + AnsiString(30, ' ') +
                                         "\r\n"
                                         "1f4 explorer.exe 1 30 12 normal       C:\\windows\\explorer.exe\r\n"
                                         "010 svc.exe      0       above normal C:\\svc.exe\r\n"
                                         "020 odd.exe        1  2  12345        ");
    EXPECT_EQ(PriorityClassName(0x40), "idle");
    EXPECT_EQ(PriorityClassName(0x4000), "below normal");
    EXPECT_EQ(PriorityClassName(0x80), "high");
    EXPECT_EQ(PriorityClassName(0x100), "realtime");
}

TEST(SectionFormats, HardwareSortedWithTheDriverRule) {
    AnsiString text = FormatHardware({
        {"System", "PCI bus", "Microsoft", "10.0", ""},
        {"Display", "Virtual GPU", "Acme Corp", "2.1.0", "2020-1-1"},
        {"Display", "Another GPU", "(Standard display types)", "1", ""},
        {"Display", "Basic Adapter", "Vendor", "", "2019-5-6"},
        {"System", "ACPI button", "MICROSOFT", "", ""},
        {"Keyboard", "Keys", "", "9", ""},
    });
    EXPECT_EQ(text,
              "+ Display\r\n"
              "  - Another GPU\r\n"
              "  - Basic Adapter (driver 2019-5-6)\r\n"
              "  - Virtual GPU (driver 2.1.0)\r\n"
              "+ Keyboard\r\n"
              "  - Keys\r\n"
              "+ System\r\n"
              "  - ACPI button\r\n"
              "  - PCI bus");
}

}  // namespace
}  // namespace qr
