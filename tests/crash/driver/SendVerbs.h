#pragma once
// Script lines of the crash-test driver for sending a report by mail.
//
// Before the program starts (they set up its surroundings; each setting is
// undone when the run ends):
//   mapi answer=N      a stand-in "mapi32.dll" beside the program, loaded
//                      instead of the system's (Wine's per-program DLL
//                      overrides in the registry), that
//                      records the call and answers N
//   mapi answer=N hold as before, but the answer waits for mapi-release
//   mapi answer=N fault
//                      as before, but the call faults after its record
//   mapi none          no mail interface can be loaded
//   mailer             a stand-in mail program registered as the default
//                      one (HKCR\mailto\shell\open\command) that records
//                      its command line
//   mailer none        no default mail program
// Steps:
//   send               presses "send bug report"; the dialog stays
//   mapi-release       lets a held mail interface answer
//   mapi-call KEY VAL  the recorded call has the line KEY=VAL
//   mapi-attached NAME an attachment sent as NAME at position -1, whose
//                      copy exists
//   mapi-attached-line NAME RE   a line of that copy matches RE
//   screenshot-shows NAME X Y R G B
//                      the attached PNG decodes (tests/support/png_decode.py),
//                      is as large as the screen and has about that colour
//                      at X, Y
//   no-mapi-call       the stand-in was not called
//   mailer-command RE  the mail program was started with a line whose first
//                      4096 characters match
//   mailer-link-whole N  that line is at most N characters, and its link
//                      holds nothing that ends an argument
//   no-mailer-command  the mail program was not started
//   send-failed-box TEXT   an error box of the program says TEXT; pressed
//   file-gone NAME     the file in the program's folder disappears
//   screen-shows X Y R G B   the screen shows about that colour at X, Y
//   click-window CLASS a click into the program's window of that class
#include <windows.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace qr::crashtest {

class TSendStage {
public:
    TSendStage() = default;
    ~TSendStage();
    TSendStage(const TSendStage&) = delete;
    TSendStage& operator=(const TSendStage&) = delete;

    // A line that sets up the program's surroundings before it starts.
    void Setup(const std::vector<std::string>& words, const std::filesystem::path& folder);
    // Runs one step; false when the line is none of the above.
    bool Step(const std::vector<std::string>& words, const std::string& rest, DWORD process,
              const std::filesystem::path& folder);

private:
    void Override(const std::wstring& program, const wchar_t* order);
    void RegisterMailer(const std::optional<std::wstring>& command);

    std::wstring FOverriddenProgram;  // its load order of mapi32 was set
    bool FRegistryChanged = false;
    std::optional<std::wstring> FOldMailer;
};

}  // namespace qr::crashtest
