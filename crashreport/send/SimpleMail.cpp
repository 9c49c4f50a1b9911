#include "crashreport/send/SimpleMail.h"

namespace qr {

std::vector<TMailRecipient> MailRecipients(std::string_view mailAddr) {
    std::vector<TMailRecipient> recipients;
    size_t start = 0;
    while (start <= mailAddr.size()) {
        size_t end = mailAddr.find_first_of(",;", start);
        if (end == std::string_view::npos) end = mailAddr.size();
        const std::string_view one = TrimBlanks(mailAddr.substr(start, end - start));
        start = end + 1;
        if (one.empty()) continue;
        TMailRecipient recipient{AnsiString(one), "SMTP:" + AnsiString(one)};
        const size_t open = one.find(" <");
        if (open != std::string_view::npos && one.back() == '>' && open > 0) {
            recipient.Name = AnsiString(TrimBlanks(one.substr(0, open)));
            recipient.Address = "SMTP:" + AnsiString(one.substr(open + 2, one.size() - open - 3));
        }
        recipients.push_back(std::move(recipient));
    }
    return recipients;
}

}  // namespace qr
