// clang-format off
//! mapi answer=1
//! mailer
//! dialog send=enabled
//! send
//! assistant-form 204
//! assistant-type 203 ann@example.net
//! assistant-press continue
//! assistant-form 201
//! assistant-press skip
//! assistant-form 202
//! assistant-press continue
//! mapi-call subject bug report
//! press close
//! exit 1
//! no-mailer-command
//! report-count 1
//! report ^exception class +: ECancelledMail$
// clang-format on
//
// The user cancels the mail in the mail program: nothing else is tried (the
// registered mail program is not started), no message is shown (closing
// waits for the send, which a message box would hold up), and the report
// is saved as usual.
#include "tests/crash/CrashProgram.h"

namespace qr {
QR_DECLARE_EXCEPTION(ECancelledMail, Exception);
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace qr;
    crashtest::TCrashProgram program;
    return program.RunFailing([] { throw ECancelledMail("Not sent after all."); });
}
