#include "crashreport/send/MailtoLink.h"

#include <cctype>

namespace qr {

std::string PercentEncodeMailText(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    static constexpr std::string_view kEncoded = "\n\r \"#%&+<>?";
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        // Control characters too: a tab would split an unquoted link into
        // two arguments, a zero byte would end the command line.
        if (kEncoded.find(c) != std::string_view::npos || u < 0x20 || u == 0x7F) {
            out += '%';
            out += kHex[u >> 4];
            out += kHex[u & 15];
        } else {
            out += c;
        }
    }
    return out;
}

std::string NormaliseRecipients(std::string_view recipients, bool semicolons) {
    std::string out;
    size_t start = 0;
    while (start <= recipients.size()) {
        size_t end = recipients.find_first_of(",;", start);
        if (end == std::string_view::npos) end = recipients.size();
        std::string_view one = recipients.substr(start, end - start);
        while (!one.empty() && one.front() == ' ') one.remove_prefix(1);
        while (!one.empty() && one.back() == ' ') one.remove_suffix(1);
        if (!one.empty()) {
            if (!out.empty()) out += semicolons ? ';' : ',';
            out += one;
        }
        start = end + 1;
    }
    return out;
}

std::string MailtoLink(std::string_view recipients, std::string_view subject, std::string_view body,
                       bool semicolons) {
    return "mailto:" + NormaliseRecipients(recipients, semicolons) +
           "?subject=" + PercentEncodeMailText(subject) + "&body=" + PercentEncodeMailText(body);
}

namespace {

template <class TString, class TView>
TString InsertLinkInto(TView commandLine, TView link) {
    using TChar = typename TString::value_type;
    TString out(commandLine);
    const TChar placeholder[] = {TChar('%'), TChar('1'), TChar(0)};
    const size_t at = out.find(placeholder);
    if (at != TString::npos) return out.replace(at, 2, link);
    if (!out.empty() && out.back() != TChar(' ')) out += TChar(' ');
    return out += link;
}

template <class TString>
TString CutAtLimit(TString command, size_t limit) {
    using TChar = typename TString::value_type;
    if (command.size() <= limit || limit < 3) {
        if (command.size() > limit) command.resize(limit);
        return command;
    }
    // Positions counted from 1: a "%" at the limit or one before it starts
    // an escape that would lose its digits.
    if (command[limit - 1] == TChar('%'))
        command.resize(limit - 1);
    else if (command[limit - 2] == TChar('%'))
        command.resize(limit - 2);
    else
        command.resize(limit);
    return command;
}

template <class TView>
bool NamesOutlook(TView commandLine) {
    static constexpr std::string_view kOutlook = "OUTLOOK";
    for (size_t at = 0; at + kOutlook.size() <= commandLine.size(); ++at) {
        size_t i = 0;
        while (i < kOutlook.size() && commandLine[at + i] < 128 &&
               std::toupper(static_cast<unsigned char>(commandLine[at + i])) == kOutlook[i])
            ++i;
        if (i == kOutlook.size()) return true;
    }
    return false;
}

}  // namespace

std::string InsertLink(std::string_view commandLine, std::string_view link) {
    return InsertLinkInto<std::string>(commandLine, link);
}

UString InsertLink(std::u16string_view commandLine, std::u16string_view link) {
    return InsertLinkInto<UString>(commandLine, link);
}

std::string CutCommandLine(std::string command, size_t limit) {
    return CutAtLimit(std::move(command), limit);
}

UString CutCommandLine(UString command, size_t limit) { return CutAtLimit(std::move(command), limit); }

std::string MailtoCommandLine(std::string_view commandLine, std::string_view recipients,
                              std::string_view subject, std::string_view body) {
    return CutCommandLine(
        InsertLink(commandLine, MailtoLink(recipients, subject, body, NamesOutlook(commandLine))));
}

TMailtoCommand MailtoCommand(std::u16string_view commandLine, std::string_view recipients,
                             std::string_view subject, std::string_view body) {
    const UString link = AnsiToUnicode(MailtoLink(recipients, subject, body, NamesOutlook(commandLine)));
    TMailtoCommand command;
    command.Line = InsertLink(commandLine, link);
    command.Whole = command.Line.size() <= kMaxCommandLine;
    command.Line = CutCommandLine(std::move(command.Line));
    return command;
}

}  // namespace qr
