#pragma once
// The "mailto:" fallback: the report as mail text in a link handed to the
// default mail program on its command line. The link is 8-bit text; the
// command line it goes into may be UTF-16, since the mail program's path
// need not fit the code page.
#include <cstddef>
#include <string>
#include <string_view>

#include "base/Text.h"

namespace qr {

// The longest command line a program can be started with.
constexpr size_t kMaxCommandLine = 32766;

// Line feed, carriage return, blank, '"', '#', '%', '&', '+', '<', '>',
// '?' and the other control characters (tab, zero, 0x7F ...) as "%" and two
// upper-case hex digits; everything else unchanged.
std::string PercentEncodeMailText(std::string_view text);

// The addresses separated by "," or ";" joined again with "," (";" for
// Outlook, which wants that), blanks around each and empty ones dropped.
std::string NormaliseRecipients(std::string_view recipients, bool semicolons);

// "mailto:" + recipients + "?subject=" + subject + "&body=" + body, subject
// and body encoded.
std::string MailtoLink(std::string_view recipients, std::string_view subject, std::string_view body,
                       bool semicolons);

// The link in place of the first "%1" of the command line, or appended
// after a blank (unless the command line ends with one).
std::string InsertLink(std::string_view commandLine, std::string_view link);
UString InsertLink(std::u16string_view commandLine, std::u16string_view link);

// Cut to `limit` characters without cutting a "%" escape in two.
std::string CutCommandLine(std::string command, size_t limit = kMaxCommandLine);
UString CutCommandLine(UString command, size_t limit = kMaxCommandLine);

// The whole command line that starts the mail program: the recipients are
// separated by ";" when the command line names "OUTLOOK".
std::string MailtoCommandLine(std::string_view commandLine, std::string_view recipients,
                              std::string_view subject, std::string_view body);

// The same for the registered command line as it is: only the link is
// converted from the code page. `Whole` is false when the limit cut the
// link, so that the mail carries only part of the report.
struct TMailtoCommand {
    UString Line;
    bool Whole = true;
};
TMailtoCommand MailtoCommand(std::u16string_view commandLine, std::string_view recipients,
                             std::string_view subject, std::string_view body);

}  // namespace qr
