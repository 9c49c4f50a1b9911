// Random subjects and report texts through the "mailto:" command line:
// nothing in them may leave the link (no bare quote, "%", "&", blank, tab,
// line break or other control character), the command line never exceeds the limit and a cut never splits an
// escape.
#include <cctype>
#include <cstdlib>
#include <string>
#include <string_view>

#include "crashreport/send/MailtoLink.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    // First byte: the mail program's command line and how far a padding
    // pushes the text towards the limit; then the subject up to a 0x1e
    // byte, then the report text.
    static const std::string_view commands[] = {"\"C:\\Mail\\mail.exe\" -compose \"%1\"",
                                                "\"C:\\Office\\OUTLOOK.EXE\" /c ipm.note /m \"%1\"",
                                                "C:\\mail.exe /send", "C:\\mail.exe ", "%1"};
    const uint8_t flags = data[0];
    const std::string_view command = commands[(flags & 7) % 5];
    const size_t padding = (flags >> 3) * 1100;
    std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    const size_t split = rest.find('\x1e');
    const std::string_view subject = split == std::string_view::npos ? rest : rest.substr(0, split);
    const std::string body =
        std::string(padding, 'x') +
        std::string(split == std::string_view::npos ? std::string_view() : rest.substr(split + 1));

    const std::string line = qr::MailtoCommandLine(command, "a@x.org; b@y.org", subject, body);
    Check(line.size() <= qr::kMaxCommandLine);

    const size_t placeholder = command.find("%1");
    const std::string prefix = placeholder != std::string_view::npos
                                   ? std::string(command.substr(0, placeholder))
                               : command.ends_with(' ') ? std::string(command)
                                                        : std::string(command) + " ";
    Check(line.starts_with(prefix.substr(0, line.size())));
    const bool outlook = command.find("OUTLOOK") != std::string_view::npos;
    const std::string link = qr::MailtoLink("a@x.org; b@y.org", subject, body, outlook);
    const std::string whole = qr::InsertLink(command, link);
    Check(whole.size() > qr::kMaxCommandLine ? line.size() >= qr::kMaxCommandLine - 2 : line == whole);

    // The link as it stands in the (possibly cut) command line.
    const size_t end = std::min(line.size(), prefix.size() + link.size());
    const std::string_view inLine = std::string_view(line).substr(prefix.size(), end - prefix.size());
    Check(link.starts_with(inLine));
    int ampersands = 0, questions = 0;
    for (size_t i = 0; i < inLine.size(); ++i) {
        const char c = inLine[i];
        Check(c != '"' && c != ' ' && c != '#' && c != '+' && c != '<' && c != '>');
        Check(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);  // no tab, line break or zero byte
        ampersands += c == '&';
        questions += c == '?';
        if (c == '%') {
            Check(i + 2 < inLine.size());
            for (size_t k = i + 1; k <= i + 2; ++k)
                Check(std::isdigit(static_cast<unsigned char>(inLine[k])) ||
                      (inLine[k] >= 'A' && inLine[k] <= 'F'));
        }
    }
    Check(ampersands <= 1 && questions <= 1);
    return 0;
}
