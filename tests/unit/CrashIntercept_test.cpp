// The portable rules of the crash reporter's failure handling: which
// failures get which treatment, the time history and its hand-over to a
// restarted process, the thread registry's table, and the texts of
// processor exceptions.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <set>

#include "crashreport/settings/Settings.h"
#include "crashreport/settings/StoredSettings.h"
#include "crashreport/intercept/FailureFilters.h"
#include "crashreport/intercept/SystemFailureText.h"
#include "crashreport/intercept/ThreadTable.h"
#include "crashreport/intercept/TimeHistory.h"

namespace qr {
namespace {

TIMESettings ProgramSettings() {
    return TIMESettings(
        std::make_shared<const TSettingsTable>(TSettingsTable::Parse(EmbeddedSettingsText())));
}

TEST(FailureFilters, TheProgramsFilterTreatsDataEntryErrorsAndTheirDescendantsWithAPlainBox) {
    TIMESettings settings = ProgramSettings();
    for (const std::vector<std::string>& chain :
         {std::vector<std::string>{"EDBEditError", "Exception"},
          std::vector<std::string>{"EMyFieldError", "EDBEditError", "Exception"}}) {
        TFailureFlags flags = ApplyFailureFilters(settings, chain);
        EXPECT_FALSE(flags.CreateBugReport) << chain[0];
        EXPECT_FALSE(flags.CreateScreenshot) << chain[0];
        EXPECT_EQ(flags.ShowSetting, 3) << chain[0];
    }
    for (const std::vector<std::string>& chain :
         {std::vector<std::string>{"EAccessViolation"},
          std::vector<std::string>{"EDBEditErrorX", "Exception"}, std::vector<std::string>{}}) {
        TFailureFlags flags = ApplyFailureFilters(settings, chain);
        EXPECT_TRUE(flags.CreateBugReport);
        EXPECT_TRUE(flags.CreateScreenshot);
        EXPECT_FALSE(flags.PauseThreads);
        EXPECT_EQ(flags.ShowSetting, 0);
    }
}

class TOverridden : public TFailureSettings {
public:
    using TFailureSettings::TFailureSettings;
};

TEST(FailureFilters, ListsAreCommaSeparatedWithBlanksIgnoredAndTheFirstMatchingFilterWins) {
    TIMESettings program = ProgramSettings();
    TOverridden settings(program);
    settings.SetText("F1Classes", u" EFirst , ESecond ");
    settings.SetText("F2Classes", u"ESecond,EThird");
    settings.SetEnum("F1ShowCfg", 2);
    settings.SetEnum("F2ShowCfg", 4);
    settings.SetBoolean("F2NoBugRep", true);
    settings.SetInteger("ScrShotDepth", 0);
    EXPECT_EQ(ApplyFailureFilters(settings, {"ESecond"}).ShowSetting, 2);
    EXPECT_EQ(ApplyFailureFilters(settings, {"EChild", "EFirst"}).ShowSetting, 2);
    TFailureFlags third = ApplyFailureFilters(settings, {"EThird"});
    EXPECT_EQ(third.ShowSetting, 4);
    EXPECT_FALSE(third.CreateBugReport);
    // No screenshot at all without a colour depth.
    EXPECT_FALSE(ApplyFailureFilters(settings, {"EOther"}).CreateScreenshot);
    EXPECT_EQ(ApplyFailureFilters(settings, {"ESec"}).ShowSetting, 0);
}

TEST(ExceptTimeHistory, KeepsTheTenNewestNewestFirstAndSurvivesTheHandOverBlock) {
    TExceptTimeHistory history;
    for (uint64_t t = 1; t <= 12; ++t) history.Record(t * 1000);
    EXPECT_EQ(history.Times()[0], 12000u);
    EXPECT_EQ(history.Times()[9], 3000u);

    TRestartHandOver block;
    block.OldProcessId = 0x1a4;
    block.BlockHandle = 0x7c;
    block.History = history.Times();
    unsigned char bytes[TRestartHandOver::kSize];
    std::memset(bytes, 0xEE, sizeof bytes);
    WriteRestartHandOver(block, bytes);
    // The layout other processes read: id, handle, then the ten times.
    EXPECT_EQ(bytes[0], 0xa4);
    EXPECT_EQ(bytes[1], 0x01);
    EXPECT_EQ(bytes[4], 0x7c);
    EXPECT_EQ(bytes[8], 12000 & 0xFF);
    EXPECT_EQ(bytes[9], 12000 >> 8);
    EXPECT_EQ(bytes[80], 3000 & 0xFF);
    EXPECT_EQ(bytes[87], 0);
    TRestartHandOver back = ReadRestartHandOver(bytes);
    EXPECT_EQ(back.OldProcessId, 0x1a4u);
    EXPECT_EQ(back.BlockHandle, 0x7cu);
    EXPECT_EQ(back.History, history.Times());
}

TEST(ThreadTable, RecordsCreatorsAndNamesAndForgetsEndedThreads) {
    auto block = std::make_unique<TThreadTableBlock>();
    std::memset(block.get(), 0, sizeof *block);
    std::set<uint32_t> ended;
    TThreadTable table(*block, [&](uint32_t id) { return ended.count(id) > 0; });
    table.Named(1, "main thread");
    table.Created(2, 1, 0x401000, "TIdThread", 0x402345);
    table.Named(2, std::string(100, 'n'));  // cut to fit
    table.Created(2, 0, 0x401000);          // its own start notice keeps the creator
    table.Created(1, 0, 0);                 // keeps its name
    table.Named(0, "nobody");               // no thread has id 0
    std::vector<TThreadInfo> threads = table.Threads();
    ASSERT_EQ(threads.size(), 2u);
    EXPECT_EQ(threads[0].Name, "main thread");
    EXPECT_EQ(threads[1].CreatorId, 1u);
    EXPECT_EQ(threads[1].StartAddress, 0x401000u);
    EXPECT_EQ(threads[1].ClassName, "TIdThread");
    EXPECT_EQ(threads[1].Name, std::string(63, 'n'));
    std::vector<TThreadEntry> entries = table.Entries();
    EXPECT_EQ(entries[1].ClassName, "TIdThread");
    EXPECT_EQ(entries[1].CreatorId, 1u);
    EXPECT_EQ(entries[1].CreatedAt, 0x402345u);

    table.Remove(1);
    ASSERT_EQ(table.Threads().size(), 1u);
    EXPECT_EQ(table.Threads()[0].Id, 2u);

    // A full table makes room only by dropping a thread that has ended.
    for (uint32_t id = 100; table.Threads().size() < TThreadTableBlock::kCapacity; ++id)
        table.Created(id, 2, 0);
    table.Named(99999, "late");
    EXPECT_EQ(table.Threads().size(), TThreadTableBlock::kCapacity);
    for (const TThreadInfo& t : table.Threads()) EXPECT_NE(t.Id, 99999u);
    ended.insert(150);
    table.Named(99999, "late");
    bool late = false, gone = true;
    for (const TThreadInfo& t : table.Threads()) {
        late = late || (t.Id == 99999 && t.Name == "late");
        gone = gone && t.Id != 150;
    }
    EXPECT_TRUE(late);
    EXPECT_TRUE(gone);
}

// Any module can write the shared block: a count beyond its room is read
// as a full table, and nothing behind the block is read or written.
TEST(ThreadTable, ADamagedCountStaysInsideTheBlock) {
    struct TGuarded {
        TThreadTableBlock Block;
        TThreadRecord After[4];
    };
    auto memory = std::make_unique<TGuarded>();
    std::memset(memory.get(), 0, sizeof *memory);
    for (uint32_t i = 0; i < 4; ++i) memory->After[i].Id = 9000 + i;
    for (uint32_t i = 0; i < TThreadTableBlock::kCapacity; ++i) memory->Block.Records[i].Id = i + 1;
    memory->Block.Count = TThreadTableBlock::kCapacity + 3;
    std::set<uint32_t> asked;
    TThreadTable table(memory->Block, [&](uint32_t id) {
        asked.insert(id);
        return id >= 9000 || id == 7;
    });
    EXPECT_EQ(table.Threads().size(), TThreadTableBlock::kCapacity);

    table.Remove(5);  // the last record in the block takes its place
    std::vector<TThreadInfo> threads = table.Threads();
    ASSERT_EQ(threads.size(), TThreadTableBlock::kCapacity - 1);
    EXPECT_EQ(threads[4].Id, TThreadTableBlock::kCapacity);

    memory->Block.Count = 0xFFFFFFF0u;
    table.Named(20000, "late");  // full: thread 7 has ended and makes room
    threads = table.Threads();
    ASSERT_EQ(threads.size(), TThreadTableBlock::kCapacity);
    bool late = false;
    for (const TThreadInfo& t : threads) {
        EXPECT_FALSE(t.Id >= 9000 && t.Id < 9004) << "a record from behind the block";
        EXPECT_NE(t.Id, 7u);
        late = late || t.Id == 20000;
    }
    EXPECT_TRUE(late);
    for (uint32_t id : asked) EXPECT_LT(id, 9000u) << "asked about a record behind the block";
    for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(memory->After[i].Id, 9000 + i);
}

TEST(SystemFailureText, AccessViolationsNameTheModuleTheAccessAndBothAddresses) {
    TSystemFailure av;
    av.Code = 0xC0000005;
    av.Address = 0x401a2b;
    av.ModuleFileName = "C:\\Program Files\\Quellora\\quellora-remote.exe";
    av.HasAccessInfo = true;
    av.Write = true;
    av.AccessAddress = 0x10;
    TFailureText text = SystemFailureText(av);
    EXPECT_EQ(text.ClassName, "EAccessViolation");
    EXPECT_EQ(
        text.Message,
        "Access violation at address 00401A2B in module 'quellora-remote.exe'. Write of address 00000010");
    av.Write = false;
    av.AddressDigits = 16;
    EXPECT_EQ(SystemFailureText(av).Message,
              "Access violation at address 0000000000401A2B in module 'quellora-remote.exe'. Read of address "
              "0000000000000010");
    av.ModuleFileName.clear();
    EXPECT_EQ(SystemFailureText(av).Message, "Access Violation");

    TSystemFailure other;
    other.Code = 0xC0000094;
    EXPECT_EQ(SystemFailureText(other).ClassName, "EDivByZero");
    other.Code = 0xC00000FD;
    EXPECT_EQ(SystemFailureText(other).Message, "Stack overflow");
    other.Code = 0xE0001234;
    EXPECT_EQ(SystemFailureText(other).Message, "External exception E0001234");
    EXPECT_EQ(RuntimeErrorText(nullptr).Message, "Runtime error");
    EXPECT_EQ(RuntimeErrorText("Pure virtual function call").Message, "Pure virtual function call");
}

}  // namespace
}  // namespace qr
