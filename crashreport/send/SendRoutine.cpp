#include "crashreport/send/SendRoutine.h"

#include "crashreport/Placeholders.h"
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

// "bugreport.txt": the report file with the current report in it. Answers
// the source when it is to be deleted after a successful send.
std::optional<UString> AttachReport(const TSendJob& job, TIMEAttachments& attachments) {
    ISendSystem& system = job.Env.System;
    const UString source = ReportFileSource(job);
    const UString copy = system.TempFolder() + FileNameOf(source);
    bool copied = false, deleteSource = false;
    if (job.Settings.GetBoolean("AttachBugRepFile")) {
        copied = system.CopyFileOver(source, copy);
        if (copied)
            deleteSource = job.Settings.GetBoolean("DelBugRepFile");
        else
            system.DeleteFileForced(copy);
    }
    if (!copied || !job.Request.ReportSaved) {
        TReportSaveRequest save;
        save.FileName = copy;
        save.ProgramFileName = job.Env.Queries.ProgramFileName();
        save.Report = job.Request.Report;
        save.Rules = ReportFileRulesFrom(job.Settings);
        save.Automatic = true;
        if (!SaveReportFile(job.Env.Files, job.Env.Queries, save) || !system.FileExists(copy))
            system.DeleteFileForced(copy);
    }
    if (!system.FileExists(copy)) return std::nullopt;
    attachments.Add({copy, job.Expand("BugRepSendAs"), u"BugReport", job.Expand("BugRepZip")});
    if (!deleteSource) return std::nullopt;
    return source;
}

void AttachScreenshot(const TSendJob& job, TIMEAttachments& attachments) {
    ISendSystem& system = job.Env.System;
    const UString file = system.TempFolder() + u"screenShot.png";
    system.DeleteFileForced(file);
    std::string png;
    try {
        png =
            ScreenshotPng(*job.Request.Screenshot, static_cast<int>(job.Settings.GetInteger("ScrShotDepth")));
    } catch (const EPngError&) {
        return;  // a screenshot that cannot be saved is left out
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

bool ViaMailto(const TSendJob& job, const AnsiString& subject) {
    std::optional<UString> command = job.Env.System.MailProgramCommand();
    if (!command || command->empty()) return false;
    const std::string line = MailtoCommandLine(UnicodeToAnsi(*command), UnicodeToAnsi(job.Expand("MailAddr")),
                                               subject, job.Request.Report);
    return job.Env.System.StartProgram(AnsiToUnicode(line));
}

}  // namespace

AnsiString ExpandMailText(const UString& setting, const AnsiString& report, ISystemQueries& queries) {
    TPlaceholderContext context;
    if (auto exceptClass = NamedLineValue(report, "exception class"))
        context.ExceptClass = AnsiToUnicode(*exceptClass);
    if (auto message = NamedLineValue(report, "exception message"))
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
    std::optional<UString> deleteSource;
    const bool attachModes = settings.GetBoolean("MailAsSmtpServer") ||
                             settings.GetBoolean("MailAsSmtpClient") ||
                             settings.GetBoolean("UploadViaHttp") || viaMapi;
    if (attachModes) {
        if (settings.GetBoolean("AttachBugRep")) deleteSource = AttachReport(job, attachments);
        if (request.Screenshot && !request.Screenshot->Empty()) AttachScreenshot(job, attachments);
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
    if (!viaMapi) system.DeleteFileForced(system.TempFolder() + u"screenShot.png");

    bool done = false, viaLink = false;
    if (viaMapi) {
        switch (ViaSimpleMail(job, attachments, subject, body)) {
            case TMailOutcome::Sent:
                done = true;
                break;
            case TMailOutcome::Cancelled:
                return TSendResult::Cancelled;  // the user decided: nothing else is tried
            case TMailOutcome::Failed:
            case TMailOutcome::Unavailable:
                break;
        }
    }
    if (!done && settings.GetBoolean("MailViaMailto") && !request.Silent)
        done = viaLink = ViaMailto(job, subject);
    if (!done) {
        if (!request.Silent) system.ShowSendFailure(job.Expand("SendFailMsg"));
        return TSendResult::Failed;
    }
    sent.store(true);
    if (deleteSource && !viaLink) system.DeleteFileForced(*deleteSource);
    return TSendResult::Sent;
}

}  // namespace qr
