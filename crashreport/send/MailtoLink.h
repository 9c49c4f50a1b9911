#pragma once
// The "mailto:" fallback: the report as mail text in a link handed to the
// default mail program on its command line. 8-bit text throughout.
#include <cstddef>
#include <string>
#include <string_view>

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

// Cut to `limit` characters without cutting a "%" escape in two.
std::string CutCommandLine(std::string command, size_t limit = kMaxCommandLine);

// The whole command line that starts the mail program: the recipients are
// separated by ";" when the command line names "OUTLOOK".
std::string MailtoCommandLine(std::string_view commandLine, std::string_view recipients,
                              std::string_view subject, std::string_view body);

}  // namespace qr
