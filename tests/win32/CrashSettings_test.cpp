// The settings block shared by the modules of the process, and the stored
// settings resource of a Windows module.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "crashreport/settings/KernelObjectNames.h"
#include "crashreport/settings/SharedSettings.h"
#include "crashreport/settings/StoredSettings.h"

namespace qr {
namespace {

class TRecordingErrorBox : public IErrorBox {
public:
    std::vector<std::pair<UString, UString>> Shown;
    void Show(const UString& text, const UString& caption) override { Shown.emplace_back(text, caption); }
};

std::wstring OwnObjectName(std::u16string_view base) {
    UString name = ProcessObjectName(base, GetCurrentProcessId());
    return std::wstring(name.begin(), name.end());
}

HMODULE Kernel32() { return GetModuleHandleW(L"kernel32.dll"); }

TEST(SharedSettings, BlockAndMutexExistUnderTheProcessNamesAndCarryTheText) {
    TRecordingErrorBox box;
    auto first = TSharedSettings::Open(box);
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(box.Shown.empty());

    const std::string text = "Enabled=bool:True\nMailSubj=text:crash in %appname%\n";
    EXPECT_TRUE(first->Publish(nullptr, text));
    EXPECT_TRUE(first->Publish(nullptr, "Enabled=bool:False\n"));  // the first text stays
    EXPECT_EQ(first->Find(nullptr), text);
    EXPECT_EQ(first->Find(GetModuleHandleW(nullptr)), text);  // null means the program file
    EXPECT_EQ(first->Find(Kernel32()), std::nullopt);

    // Another module of the process opens the same block by name.
    auto second = TSharedSettings::Open(box);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->Find(nullptr), text);

    HANDLE mapping = OpenFileMappingW(FILE_MAP_READ, FALSE, OwnObjectName(u"TobriskSettingsBuf2").c_str());
    ASSERT_NE(mapping, nullptr);
    auto* view = static_cast<const char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
    ASSERT_NE(view, nullptr);
    EXPECT_NE(std::string(view, TSharedSettings::kBlockSize).find(text), std::string::npos);
    UnmapViewOfFile(view);
    CloseHandle(mapping);
    HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, OwnObjectName(u"TobriskSettingsMtx").c_str());
    EXPECT_NE(mutex, nullptr);
    if (mutex) CloseHandle(mutex);

    // A module without settings of its own gets the program's.
    auto settings = second->ModuleSettings(Kernel32());
    ASSERT_NE(settings, nullptr);
    EXPECT_TRUE(settings->GetBoolean("Enabled"));
    EXPECT_EQ(settings->GetText("MailSubj"), u"crash in %appname%");
    EXPECT_THROW(settings->GetInteger("SmtpPort"), EUnknownSettingError);
    EXPECT_TRUE(box.Shown.empty());
}

TEST(SharedSettings, FullBlockRefusesMoreText) {
    TRecordingErrorBox box;
    auto shared = TSharedSettings::Open(box);
    ASSERT_NE(shared, nullptr);
    EXPECT_FALSE(shared->Publish(Kernel32(), std::string(TSharedSettings::kBlockSize, 'x')));
    EXPECT_EQ(shared->Find(Kernel32()), std::nullopt);
}

TEST(SharedSettings, BlockThatCannotBeCreatedShowsTheErrorBox) {
    // Another kind of object already holds the block's name.
    HANDLE squatter = CreateEventW(nullptr, TRUE, FALSE, OwnObjectName(u"TobriskSettingsBuf2").c_str());
    ASSERT_NE(squatter, nullptr);
    TRecordingErrorBox box;
    EXPECT_EQ(TSharedSettings::Open(box), nullptr);
    CloseHandle(squatter);
    ASSERT_EQ(box.Shown.size(), 1u);
    EXPECT_EQ(box.Shown[0].first, u"internal error (opening settings buffer)");
    EXPECT_EQ(box.Shown[0].second, u"Tobrisk");
}

TEST(StoredSettings, ProgramResourceHoldsTheCompiledTableOtherModulesNone) {
    EXPECT_EQ(LoadStoredSettingsText(), std::string(EmbeddedSettingsText()));
    EXPECT_EQ(LoadStoredSettingsText(Kernel32()), std::nullopt);
}

}  // namespace
}  // namespace qr
