// Number, size, duration and time formats of the report header and the
// operating system's name.
#include <gtest/gtest.h>

#include "crashreport/report/HeaderFormats.h"
#include "crashreport/report/OsName.h"

namespace qr {
namespace {

TEST(ReportFormats, SizesInBytesThenOneDecimalOfTheLargestFittingUnit) {
    EXPECT_EQ(FormatSize(0, '.'), "0 Bytes");
    EXPECT_EQ(FormatSize(1023, '.'), "1023 Bytes");
    EXPECT_EQ(FormatSize(1024, '.'), "1.0 KB");
    EXPECT_EQ(FormatSize(1536, ','), "1,5 KB");
    EXPECT_EQ(FormatSize(1024 * 1024 - 1, '.'), "1024.0 KB");  // rounded, still below 1 MB
    EXPECT_EQ(FormatSize(1024 * 1024, '.'), "1.0 MB");
    EXPECT_EQ(FormatSize(10 * 1024 * 1024 + 1024 * 1024 * 6 / 100, '.'), "10.1 MB");  // 10.06 rounds up
    EXPECT_EQ(FormatSize(3ull * 1024 * 1024 * 1024 + 214748365, '.'), "3.2 GB");
    EXPECT_EQ(FormatSize(5000ull * 1024 * 1024 * 1024, '.'), "5000.0 GB");  // no larger unit
}

TEST(ReportFormats, DurationsUseTheTwoLargestUnitsAndLeaveOutZeros) {
    const uint64_t s = 1000, m = 60 * s, h = 60 * m, d = 24 * h;
    EXPECT_EQ(FormatDuration(0), "");
    EXPECT_EQ(FormatDuration(1 * s + 999), "1 second ");
    EXPECT_EQ(FormatDuration(2 * s), "2 seconds ");
    EXPECT_EQ(FormatDuration(1 * m + 1 * s), "1 minute 1 second ");
    EXPECT_EQ(FormatDuration(5 * m), "5 minutes ");
    EXPECT_EQ(FormatDuration(1 * h + 59 * s), "1 hour ");
    EXPECT_EQ(FormatDuration(3 * h + 7 * m + 20 * s), "3 hours 7 minutes ");
    EXPECT_EQ(FormatDuration(1 * d + 5 * m), "1 day ");
    EXPECT_EQ(FormatDuration(12 * d + 1 * h + 59 * m), "12 days 1 hour ");
    EXPECT_EQ(FormatProgramUpTime(0), "0 milliseconds");
    EXPECT_EQ(FormatProgramUpTime(999), "999 milliseconds");
    EXPECT_EQ(FormatProgramUpTime(1000), "1 second ");
}

TEST(ReportFormats, TimesAndExceptionMessages) {
    EXPECT_EQ(FormatFailureTime({2024, 3, 7, 9, 5, 3, 7}), "2024-03-07, 09:05:03, 7ms");
    EXPECT_EQ(FormatFailureTime({2024, 12, 31, 23, 59, 59, 999}), "2024-12-31, 23:59:59, 999ms");
    EXPECT_EQ(FormatFileTime({2023, 1, 2, 3, 4, 5, 6}), "2023-01-02 03:04");
    EXPECT_EQ(ExceptionMessageText("Access violation"), "Access violation.");
    EXPECT_EQ(ExceptionMessageText("Oops!.!.."), "Oops.");
    EXPECT_EQ(ExceptionMessageText("v1.2 failed ?"), "v1.2 failed ?.");
    EXPECT_EQ(ExceptionMessageText(""), ".");
}

TEST(ReportFormats, ProcessorsMemoryDisksDisplay) {
    EXPECT_EQ(ProcessorItem("  Intel(R)  Core(TM)   i5 CPU  ", 1),
              (std::pair<AnsiString, AnsiString>{"processor", "Intel(R) Core(TM) i5 CPU"}));
    EXPECT_EQ(ProcessorItem("AMD Ryzen", 0).first, "processor");
    EXPECT_EQ(ProcessorItem("AMD Ryzen", 4),
              (std::pair<AnsiString, AnsiString>{"processors", "4x AMD Ryzen"}));
    EXPECT_EQ(ProcessorItem("AMD Ryzen", 64).second, "16x AMD Ryzen");
    EXPECT_EQ(ProcessorItem("   ", 4).second, "");
    const uint64_t mb = 1024 * 1024;
    EXPECT_EQ(FormatPhysicalMemory(511 * mb + mb / 2, 2048 * mb), "512/2048 MB (free/total)");
    EXPECT_EQ(FormatPhysicalMemory(mb / 2 - 1, 0), "0/0 MB (free/total)");
    EXPECT_EQ(FormatFreeDiskSpace({'c', 3 * 1024 * mb}, std::nullopt, '.'), "(C:) 3.0 GB");
    EXPECT_EQ(FormatFreeDiskSpace({'C', 3 * 1024 * mb}, TDriveSpace{'c', 5}, '.'), "(C:) 3.0 GB");
    EXPECT_EQ(FormatFreeDiskSpace({'C', 1536}, TDriveSpace{'D', 512}, ','), "(C:) 1,5 KB (D:) 512 Bytes");
    EXPECT_EQ(FormatDisplayMode(1024, 768, 32), "1024x768, 32 bit");
    EXPECT_FALSE(CommandLineHasParameters(u"\"C:\\Program Files\\q.exe\"  "));
    EXPECT_FALSE(CommandLineHasParameters(u"q.exe"));
    EXPECT_FALSE(CommandLineHasParameters(u"\"C:\\no closing quote.exe /x"));
    EXPECT_TRUE(CommandLineHasParameters(u"\"C:\\Program Files\\q.exe\" /x"));
    EXPECT_TRUE(CommandLineHasParameters(u"  q.exe\t-v"));
    EXPECT_EQ(Hex(0x1a4), "1a4");
    EXPECT_EQ(Hex(0xAB, 8), "000000ab");
}

TOsVersion Nt(unsigned major, unsigned minor, bool workstation = true) {
    TOsVersion os;
    os.Major = major;
    os.Minor = minor;
    os.Workstation = workstation;
    os.Build = 1234;
    return os;
}

TEST(OperatingSystemName, EveryRowOfTheTable) {
    struct Row {
        TOsVersion Os;
        const char* Name;
    };
    TOsVersion none;
    none.Platform = TOsPlatform::None;
    auto nine = [](unsigned minor, const char* letter) {
        TOsVersion os;
        os.Platform = TOsPlatform::Win9x;
        os.Major = 4;
        os.Minor = minor;
        os.Letter9x = letter;
        return os;
    };
    TOsVersion ninexNew = nine(95, "");
    const Row rows[] = {
        {none, "None"},
        {nine(0, ""), "Windows 95"},
        {nine(0, "B"), "Windows 95 OSR-2"},
        {nine(0, "C"), "Windows 95 OSR-2"},
        {nine(10, ""), "Windows 98"},
        {nine(10, "A"), "Windows 98 SE"},
        {nine(90, ""), "Windows ME"},
        {ninexNew, "Windows 9x New"},
        {Nt(3, 51), "Windows NT 3"},
        {Nt(4, 0), "Windows NT 4"},
        {Nt(5, 0), "Windows 2000"},
        {Nt(5, 1), "Windows XP"},
        {Nt(5, 2, true), "Windows XP"},
        {Nt(5, 2, false), "Windows 2003"},
        {Nt(6, 0, true), "Windows Vista"},
        {Nt(6, 0, false), "Windows 2008"},
        {Nt(6, 1, true), "Windows 7"},
        {Nt(6, 1, false), "Windows 2008 R2"},
        {Nt(6, 2, true), "Windows 8"},
        {Nt(6, 2, false), "Windows Server 8"},
        {Nt(6, 3), "Windows NT New"},
        {Nt(10, 0), "Windows NT New"},
    };
    for (const Row& row : rows) EXPECT_EQ(OperatingSystemName(row.Os), row.Name) << row.Name;
}

TEST(OperatingSystemName, AdditionsInOrderOnlyOnNtAndTheItemAddsTheBuild) {
    TOsVersion os = Nt(5, 2, false);
    os.R2 = os.X64 = true;
    os.ServicePack = "Service Pack 2";
    EXPECT_EQ(OperatingSystemName(os), "Windows 2003 R2 x64 Service Pack 2");
    os = Nt(5, 1);
    os.TabletPC = os.Starter = os.MediaCenter = true;
    EXPECT_EQ(OperatingSystemName(os), "Windows XP Tablet PC Starter Media Center");
    os = Nt(6, 1);
    os.MediaCenter = true;  // not named from Vista on
    os.X64 = true;
    os.ServicePack = "Service Pack 1";
    EXPECT_EQ(OperatingSystemItem(os), "Windows 7 x64 Service Pack 1 build 1234");
    os = Nt(6, 1, false);
    os.R2 = true;
    EXPECT_EQ(OperatingSystemName(os), "Windows 2008 R2");
    TOsVersion old;
    old.Platform = TOsPlatform::Win9x;
    old.Major = 4;
    old.Minor = 10;
    old.Letter9x = "A";
    old.X64 = true;
    old.ServicePack = " A ";
    EXPECT_EQ(OperatingSystemName(old), "Windows 98 SE");
}

}  // namespace
}  // namespace qr
