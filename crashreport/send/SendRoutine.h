#pragma once
// Sending a report by mail: the attachments in the temporary folder, the
// system's simple mail interface, the "mailto:" fallback, the message when
// nothing worked, and what a successful send leaves behind. Portable: the
// system's side is ISendSystem (Windows in SendSystem_win32.cpp, fakes in
// tests); the background thread is the caller's business.
#include <atomic>
#include <functional>
#include <optional>
#include <vector>

#include "base/Text.h"
#include "crashreport/settings/Settings.h"
#include "crashreport/system/SystemQueries.h"
#include "crashreport/report/Screenshot.h"
#include "crashreport/report/ReportFile.h"
#include "crashreport/send/ScreenshotPng.h"
#include "crashreport/send/SimpleMail.h"
#include "crashreport/ui/ProgressAreas.h"

namespace qr {

// What the send routine does to the outside world. File paths use
// backslashes.
class ISendSystem {
public:
    virtual ~ISendSystem() = default;
    // The crash reporter's temporary folder, with a trailing backslash.
    virtual UString TempFolder() = 0;
    virtual bool FileExists(const UString& path) = 0;
    virtual UString AbsolutePath(const UString& path) = 0;
    // Copies over an existing `to`.
    virtual bool CopyFileOver(const UString& from, const UString& to) = 0;
    // Removes the file's attributes first, so that a read-only file goes too.
    virtual void DeleteFileForced(const UString& path) = 0;
    // None when the file cannot be read.
    virtual std::optional<AnsiString> ReadWholeFile(const UString& path) = 0;
    // As DeleteFileForced, but only while the file holds exactly `content`;
    // the comparison and the deletion happen under one exclusive open, so
    // that no save can slip in between. False when the file stays.
    virtual bool DeleteFileIfContent(const UString& path, std::string_view content) = 0;
    virtual bool WriteNewFile(const UString& path, const std::string& bytes) = 0;
    // Unavailable when the interface cannot be loaded (or the loader lock
    // forbids loading it).
    virtual TMailOutcome SendSimpleMail(const TSimpleMail& mail) = 0;
    // The owner window leaves the topmost band for good: a mail program
    // about to start, or the error box, is to stand in front of it.
    virtual void LeaveTopmost() = 0;
    // The default mail program's command line, environment variables
    // expanded; none when no mail program is registered.
    virtual std::optional<UString> MailProgramCommand() = 0;
    virtual bool StartProgram(const UString& commandLine) = 0;
    // The error box that says sending did not work.
    virtual void ShowSendFailure(const UString& text) = 0;
};

// The please-wait window while the attachments are prepared. The crash
// reporter's window comes in through this; without one nothing is shown.
class ISendProgress {
public:
    virtual ~ISendProgress() = default;
    // `activate`: centred, activated and owned by the dialog; otherwise (a
    // background send) in the work area's bottom-right corner, not
    // activated, without owner.
    virtual void Show(const UString& title, const char16_t* picture, const TProgressAreas& areas,
                      bool activate) = 0;
    virtual void Close() = 0;
};

class TNoSendProgress : public ISendProgress {
public:
    void Show(const UString&, const char16_t*, const TProgressAreas&, bool) override {}
    void Close() override {}
};

// The send request (TSendBugReportExRec).
struct TSendBugReportExRec {
    AnsiString Report;                        // the complete report text
    const TScreenshot* Screenshot = nullptr;  // none: nothing to attach
    bool Silent = false;
    bool InThread = false;     // the sending thread runs the routine
    bool ReportSaved = false;  // the report is in the report file already
};

struct TSendEnvironment {
    ISendSystem& System;
    IReportFileSystem& Files;  // for writing the report into its copy
    ISystemQueries& Queries;
    ISendProgress& Progress;
    // The screenshot as PNG for ScrShotDepth (tests put a failing one here).
    std::function<std::string(const TScreenshot&, int)> EncodeScreenshot = ScreenshotPng;
};

// The routine's answer: sent (1), cancelled by the user (2), failed (0).
enum class TSendResult { Failed = 0, Sent = 1, Cancelled = 2 };

// Runs the send. `sent` is set only when the current report travelled
// whole: not for a mail without the report's attachment, nor for a
// "mailto:" link cut at the command-line limit (the automatic save keeps
// the report then). After a send through the simple mail interface the
// report file goes, but only if it still holds what was copied into the
// mail: a report saved into it meanwhile keeps it. A "mailto:" link
// carries only the current report, so the file stays then.
TSendResult SendBugReport(const TSendBugReportExRec& request, const TIMESettings& settings,
                          const TSendEnvironment& env, std::atomic<bool>& sent);

// Subject and text of the mail with the placeholders expanded; class and
// message come from the report's lines.
AnsiString ExpandMailText(const UString& setting, const AnsiString& report, ISystemQueries& queries);

}  // namespace qr
