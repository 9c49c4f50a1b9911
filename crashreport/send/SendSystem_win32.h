#pragma once
// The send routine's Windows side: files in the temporary folder,
// "MAPISendMail" of "mapi32.dll" loaded on demand, the default mail program
// from "mailto\shell\open\command", and the error box.
#include <windows.h>

#include "crashreport/send/SendRoutine.h"

namespace qr {

// A file's path as the mail interface takes it, in 8-bit text: as it is
// when the ANSI code page holds every character, else its short 8.3 form
// (a user folder outside the code page); as it is when there is none.
AnsiString MailAttachmentPath(const UString& path);

class TSendSystem : public ISendSystem {
public:
    // `owner`: the crash dialog, or null in the sending thread. `mayLoad`:
    // false while the loader lock is held, when loading a library would
    // hang.
    TSendSystem(HWND owner, UString tempFolder, bool mayLoad)
        : FOwner(owner), FTempFolder(std::move(tempFolder)), FMayLoad(mayLoad) {}

    // Made when missing: it is cleaned, folder and all, at start-up.
    UString TempFolder() override;
    bool FileExists(const UString& path) override;
    UString AbsolutePath(const UString& path) override;
    bool CopyFileOver(const UString& from, const UString& to) override;
    void DeleteFileForced(const UString& path) override;
    std::optional<AnsiString> ReadWholeFile(const UString& path) override;
    bool DeleteFileIfContent(const UString& path, std::string_view content) override;
    bool WriteNewFile(const UString& path, const std::string& bytes) override;
    TMailOutcome SendSimpleMail(const TSimpleMail& mail) override;
    void LeaveTopmost() override;
    std::optional<UString> MailProgramCommand() override;
    bool StartProgram(const UString& commandLine) override;
    void ShowSendFailure(const UString& text) override;

private:
    HWND FOwner;
    UString FTempFolder;
    bool FMayLoad;
};

}  // namespace qr
