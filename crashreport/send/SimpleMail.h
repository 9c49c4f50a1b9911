#pragma once
// The message handed to the system's simple mail interface: recipients,
// subject, text and attachments, 8-bit text as that interface takes it.
#include <string_view>
#include <vector>

#include "base/Text.h"
#include "crashreport/send/Attachments.h"

namespace qr {

struct TMailRecipient {
    AnsiString Name;
    AnsiString Address;  // "SMTP:" and the address
};

struct TSimpleMail {
    std::vector<TMailRecipient> Recipients;
    AnsiString Subject, Body;
    std::vector<TIMEAttachment> Attachments;
    // MAPI_LOGON_UI | MAPI_DIALOG: the user's mail program shows the new
    // mail; off only for a silent send to preset recipients.
    bool Interactive = true;
};

// How the mail interface answered.
enum class TMailOutcome { Sent, Cancelled, Failed, Unavailable };

// The recipients of `MailAddr`, separated by "," or ";". "Name <address>"
// gives both parts, anything else is name and address at once.
std::vector<TMailRecipient> MailRecipients(std::string_view mailAddr);

}  // namespace qr
