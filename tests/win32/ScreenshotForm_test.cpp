// The screenshot form: the picture written for an editor on a click, an
// edited file taken back when its time stamp changes (a file that is no
// bitmap left alone), the attach choice taken over, the file removed.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "crashreport/ui/AssistantForm.h"
#include "tests/support/StoredForms.h"
#include "crashreport/ui/Assistant_win32.h"
#include "crashreport/ui/ScreenshotFormHandler_win32.h"
#include "tests/support/WindowTestKit_win32.h"
#include "tests/win32/AssistantThread.h"

using namespace qr;
namespace fs = std::filesystem;

namespace {

using testkit::WaitFor;

constexpr int kContinue = 100;
// The form's own items: AttachCheck, ScrShotImg, ClickLabel.
constexpr int kAttachCheck = 200, kImage = 201;

TNVPicture Picture(int width, int height, uint32_t colour) {
    return {width, height, std::vector<uint32_t>(size_t(width) * size_t(height), colour)};
}

// Moves the file's time stamp on, so that a rewrite within the file
// system's time resolution still counts as a change.
void Touch(const fs::path& file, int seconds) {
    HANDLE handle = CreateFileW(file.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER t{{now.dwLowDateTime, now.dwHighDateTime}};
    t.QuadPart += uint64_t(seconds) * 10000000;
    FILETIME later{t.LowPart, t.HighPart};
    SetFileTime(handle, nullptr, nullptr, &later);
    CloseHandle(handle);
}

// An empty folder of that name in the temporary folder.
fs::path FreshFolder(const char* name) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const fs::path folder = fs::path(temp) / name;
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

// The screenshot form alone on a thread of its own, with a visible owner
// window; the pictures the form hands back are recorded.
class TScreenshotFormRun {
public:
    // In a fresh temporary folder `name`.
    TScreenshotFormRun(const char* name, bool timer)
        : Folder(FreshFolder(name)), File(Folder / "screenShot.bmp"), FThread([this, timer] {
              Owner = CreateOwnerWindow();
              TScreenshotAccess access;
              access.Get = [] { return Picture(64, 48, 0x00336699); };
              access.Set = [this](TNVPicture p) {
                  std::lock_guard guard(FLock);
                  FWidths.push_back(p.Width);
              };
              access.Attach = [] { return true; };
              access.SetAttach = [this](bool a) { Attach = a ? 1 : 0; };
              access.Folder = Folder.wstring() + L"\\";
              std::vector<std::unique_ptr<TNVForm>> forms;
              forms.push_back(ReadAssistantForm(*StoredFormDescription(u"TMESCRSHOTFORM")));
              if (!timer) forms.back()->Timer = 0;
              TNVAssistant assistant(u"Send Assistant", std::move(forms));
              Completed =
                  assistant.ShowModal(Owner, [&](const UString&) { return ScreenshotFormHandler(access); });
              OwnerEnabled = IsWindowEnabled(Owner) != FALSE;
              DestroyWindow(Owner);
          }) {}
    HWND Form() { return FThread.Next(); }
    bool Ended() { return FThread.Ended(); }
    std::vector<int> Widths() {
        std::lock_guard guard(FLock);
        return FWidths;
    }

    const fs::path Folder, File;
    std::atomic<HWND> Owner{nullptr};
    std::atomic<int> Attach{-1};
    std::atomic<bool> Completed{false}, OwnerEnabled{false};

private:
    std::mutex FLock;
    std::vector<int> FWidths;
    TAssistantThread FThread;  // last: it fills in the members above
};

void ClickPicture(HWND form) {
    HWND image = GetDlgItem(form, kImage);
    PostMessageW(image, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    PostMessageW(image, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
}

}  // namespace

TEST(ScreenshotFormWindows, EditedPicturesComeBackAndTheFileGoesWithTheForm) {
    TScreenshotFormRun run("qr-screenshot-form", true);
    const fs::path& file = run.File;
    HWND form = run.Form();
    ASSERT_TRUE(form);
    EXPECT_EQ(SendMessageW(GetDlgItem(form, kAttachCheck), BM_GETCHECK, 0, 0), BST_CHECKED);
    ASSERT_TRUE(GetDlgItem(form, kImage));
    EXPECT_FALSE(IsWindowEnabled(run.Owner));
    // A click on the picture writes it for the editor (and starts one where
    // the system has one; without, as in this Wine prefix, which knows no
    // program for bitmaps, a beep and the form goes on).
    ClickPicture(form);
    ASSERT_TRUE(WaitFor([&] { return fs::exists(file); }));
    std::optional<TNVPicture> written = LoadPictureFile(file.wstring());
    ASSERT_TRUE(written);
    EXPECT_EQ(written->Width, 64);
    EXPECT_EQ(written->Height, 48);
    EXPECT_EQ(written->Pixels[0] & 0xFFFFFF, 0x336699u);

    auto widths = [&] { return run.Widths(); };
    // The "editor" saves its work; the shell may still hold the file for a
    // moment while it looks for an editor of its own.
    ASSERT_TRUE(WaitFor([&] { return SavePictureFile(file.wstring(), Picture(20, 10, 0x00FF0000)); }));
    Touch(file, 10);
    ASSERT_TRUE(WaitFor([&] { return widths().size() == 1; })) << "the edited picture is not taken back";
    EXPECT_EQ(widths()[0], 20);
    std::ofstream(file, std::ios::binary | std::ios::trunc) << "not a bitmap at all";
    Touch(file, 20);
    ASSERT_TRUE(SavePictureFile(file.wstring(), Picture(30, 10, 0x0000FF00)));
    Touch(file, 30);
    ASSERT_TRUE(WaitFor([&] { return widths().size() >= 2; }));
    EXPECT_EQ(widths(), (std::vector<int>{20, 30})) << "only readable bitmaps come back";

    PostMessageW(GetDlgItem(form, kAttachCheck), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitFor(
        [&] { return SendMessageW(GetDlgItem(form, kAttachCheck), BM_GETCHECK, 0, 0) == BST_UNCHECKED; }));
    PostMessageW(GetDlgItem(form, kContinue), BM_CLICK, 0, 0);
    ASSERT_TRUE(run.Ended());
    EXPECT_TRUE(run.Completed);
    EXPECT_TRUE(run.OwnerEnabled) << "the owner stays disabled after the editor";
    EXPECT_EQ(run.Attach, 0);
    EXPECT_FALSE(fs::exists(file)) << "the edit's file stays behind";
    fs::remove_all(run.Folder);
}

// An edit saved just before the form closes, before a tick of the timer
// (none here) saw it: the form looks once more as it closes.
TEST(ScreenshotFormWindows, AnEditSavedJustBeforeClosingIsTakenBack) {
    TScreenshotFormRun run("qr-screenshot-close", false);
    const fs::path& file = run.File;
    HWND form = run.Form();
    ASSERT_TRUE(form);
    ClickPicture(form);
    ASSERT_TRUE(WaitFor([&] { return fs::exists(file); }));
    ASSERT_TRUE(WaitFor([&] { return SavePictureFile(file.wstring(), Picture(20, 10, 0x00FF0000)); }));
    Touch(file, 10);
    PostMessageW(GetDlgItem(form, kContinue), BM_CLICK, 0, 0);
    ASSERT_TRUE(run.Ended());
    EXPECT_EQ(run.Widths(), std::vector<int>{20}) << "the last edit is lost";
    EXPECT_FALSE(fs::exists(file));
    fs::remove_all(run.Folder);
}
