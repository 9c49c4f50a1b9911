#include "crashreport/send/SendRoutine.h"

#include <new>

#include "crashreport/settings/Placeholders.h"
#include "crashreport/report/ReportFileEdit.h"
#include "crashreport/send/MailtoLink.h"
#include "crashreport/send/ScreenshotPng.h"

namespace qr {

namespace {

UString FileNameOf(const UString& path) {
    const size_t slash = path.find_last_of(u"\\/");
    return slash == UString::npos ? path : path.substr(slash + 1);
}

struct TSendJob {
    const TSendBugReportExRec& Request;
    const TIMESettings& Settings;
    const TSendEnvironment& Env;
    UString Expand(std::string_view key) const {
        return ExpandPlaceholders(Settings.GetText(key), Env.Queries);
    }
};

// The report file; one that does not exist is looked for where the report
// file routine falls back to.
UString ReportFileSource(const TSendJob& job) {
    const UString name = job.Expand("BugRepFile");
    const UString program = job.Env.Queries.ProgramFileName();
    const UString source = AbsoluteReportFileName(name, program);
    if (job.Env.System.FileExists(source)) return source;
    return FallbackReportFileName(name, program, job.Env.Queries).value_or(source);
}

bool IsAbsolute(const UString& path) {
    return path.starts_with(u"\\\\") || (path.size() >= 3 && path[1] == u':' && path[2] == u'\\');
}

// What became of the report file for the mail.
struct TReportAttachment {
    bool Attached = false;  // the copy, with the current report in it, goes with the mail
    // The report file, to be deleted after a successful send, and its
    // content as it went into the copy.
    std::optional<UString> Source;
    AnsiString Travelled;
};

// "bugreport.txt": the report file with the current report in it.
TReportAttachment AttachReport(const TSendJob& job, const UString& tempFolder, TIMEAttachments& attachments) {
    ISendSystem& system = job.Env.System;
    TReportAttachment result;
    const UString source = ReportFileSource(job);
    const UString copy = tempFolder + FileNameOf(source);
    bool copied = false;
    if (job.Settings.GetBoolean("AttachBugRepFile")) {
        copied = system.CopyFileOver(source, copy);
        std::optional<AnsiString> travelled = copied ? system.ReadWholeFile(copy) : std::nullopt;
        if (travelled && job.Settings.GetBoolean("DelBugRepFile")) {
            result.Source = source;
            result.Travelled = std::move(*travelled);
        }
        if (!copied) system.DeleteFileForced(copy);
    }
    if (!copied || !job.Request.ReportSaved) {
        TReportSaveRequest save;
        save.FileName = copy;
        save.ProgramFileName = job.Env.Queries.ProgramFileName();
        save.Report = job.Request.Report;
        save.Rules = ReportFileRulesFrom(job.Settings);
        save.Automatic = true;
        // The report file routine may fall back elsewhere; only the copy
        // itself counts.
        if (SaveReportFile(job.Env.Files, job.Env.Queries, save) != copy) system.DeleteFileForced(copy);
    }
    if (!system.FileExists(copy)) {
        result.Source.reset();
        return result;
    }
    attachments.Add({copy, job.Expand("BugRepSendAs"), u"BugReport", job.Expand("BugRepZip")});
    result.Attached = true;
    return result;
}

void AttachScreenshot(const TSendJob& job, const UString& tempFolder, TIMEAttachments& attachments) {
    ISendSystem& system = job.Env.System;
    const UString file = tempFolder + u"screenShot.png";
    system.DeleteFileForced(file);
    std::string png;
    try {
        png = job.Env.EncodeScreenshot(*job.Request.Screenshot,
                                       static_cast<int>(job.Settings.GetInteger("ScrShotDepth")));
    } catch (const EPngError&) {
        return;  // a screenshot that cannot be saved is left out
    } catch (const std::bad_alloc&) {
        return;  // so is one too large for the memory left
    }
    if (system.WriteNewFile(file, png))
        attachments.Add({file, job.Expand("ScrShotSendAs"), u"ScreenShot", job.Expand("ScrShotZip")});
}

TMailOutcome ViaSimpleMail(const TSendJob& job, const TIMEAttachments& attachments, const AnsiString& subject,
                           const AnsiString& body) {
    TSimpleMail mail;
    mail.Recipients = MailRecipients(UnicodeToAnsi(job.Expand("MailAddr")));
    mail.Subject = subject;
    mail.Body = body;
    mail.Attachments = attachments.Items();
    mail.Interactive = !(job.Request.Silent && !mail.Recipients.empty());
    return job.Env.System.SendSimpleMail(mail);
}

enum class TLinkOutcome { NotStarted, Whole, Cut };

TLinkOutcome ViaMailto(const TSendJob& job, const AnsiString& subject) {
    // Whether or not a mail program is registered.
    job.Env.System.LeaveTopmost();
    std::optional<UString> command = job.Env.System.MailProgramCommand();
    if (!command || command->empty()) return TLinkOutcome::NotStarted;
    const TMailtoCommand line =
        MailtoCommand(*command, UnicodeToAnsi(job.Expand("MailAddr")), subject, job.Request.Report);
    if (!job.Env.System.StartProgram(line.Line)) return TLinkOutcome::NotStarted;
    return line.Whole ? TLinkOutcome::Whole : TLinkOutcome::Cut;
}

}  // namespace

AnsiString ExpandMailText(const UString& setting, const AnsiString& report, ISystemQueries& queries) {
    TPlaceholderContext context;
    if (auto exceptClass = HeaderValue(report, "exception class"))
        context.ExceptClass = AnsiToUnicode(*exceptClass);
    if (auto message = HeaderValue(report, "exception message"))
        context.ExceptMessage = AnsiToUnicode(*message);
    context.BugReport = AnsiToUnicode(report);
    return UnicodeToAnsi(ExpandPlaceholders(setting, queries, context));
}

TSendResult SendBugReport(const TSendBugReportExRec& request, const TIMESettings& settings,
                          const TSendEnvironment& env, std::atomic<bool>& sent) {
    const TSendJob job{request, settings, env};
    ISendSystem& system = env.System;
    const AnsiString subject = ExpandMailText(settings.GetText("MailSubj"), request.Report, env.Queries);
    const AnsiString body = ExpandMailText(settings.GetText("MailBody"), request.Report, env.Queries);
    const bool viaMapi = settings.GetBoolean("MailViaMapi");

    TIMEAttachments attachments;
    TReportAttachment report;
    const bool attachModes = settings.GetBoolean("MailAsSmtpServer") ||
                             settings.GetBoolean("MailAsSmtpClient") ||
                             settings.GetBoolean("UploadViaHttp") || viaMapi;
    // Without a temporary folder the copies' names would be relative and
    // could name the report file itself: nothing is attached then.
    const UString temp = system.TempFolder();
    const bool attachReport = attachModes && settings.GetBoolean("AttachBugRep");
    if (attachModes && IsAbsolute(temp)) {
        if (attachReport) report = AttachReport(job, temp, attachments);
        if (request.Screenshot && !request.Screenshot->Empty()) AttachScreenshot(job, temp, attachments);
    }

    const bool showProgress = !request.Silent || settings.GetBoolean("AutoSendBox");
    if (showProgress) {
        TProgressAreas areas;
        areas.Add(job.Expand("PrepAttMsg"), 100);
        env.Progress.Show(job.Expand("SendBoxTitle"), u"MEISEND32", areas, !request.InThread);
    }
    attachments.Prepare([&](const UString& path) { return system.AbsolutePath(path); },
                        [&](const UString& path) { return system.FileExists(path); });
    // The mail-server and upload modes are not part of this program.
    if (showProgress) env.Progress.Close();
    if (!viaMapi && IsAbsolute(temp)) system.DeleteFileForced(temp + u"screenShot.png");

    bool viaMail = false;
    if (viaMapi) {
        switch (ViaSimpleMail(job, attachments, subject, body)) {
            case TMailOutcome::Sent:
                viaMail = true;
                break;
            case TMailOutcome::Cancelled:
                return TSendResult::Cancelled;  // the user decided: nothing else is tried
            case TMailOutcome::Failed:
            case TMailOutcome::Unavailable:
                break;
        }
    }
    TLinkOutcome link = TLinkOutcome::NotStarted;
    if (!viaMail && settings.GetBoolean("MailViaMailto") && !request.Silent) link = ViaMailto(job, subject);
    if (!viaMail && link == TLinkOutcome::NotStarted) {
        if (!request.Silent) system.ShowSendFailure(job.Expand("SendFailMsg"));
        return TSendResult::Failed;
    }
    // A mail without the report, or with only the start of it, leaves the
    // report to the automatic save.
    const bool whole = viaMail ? report.Attached || !attachReport : link == TLinkOutcome::Whole;
    if (whole) sent.store(true);
    if (viaMail && report.Source) system.DeleteFileIfContent(*report.Source, report.Travelled);
    return TSendResult::Sent;
}

}  // namespace qr
