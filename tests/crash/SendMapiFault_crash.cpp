// clang-format off
//! x86-64-only x86: a fault in foreign code (the mail DLL) is not thrown yet
//! mapi answer=0 fault
//! mailer none
//! dialog send=enabled
//! send
//! assistant-form 204
//! assistant-type 203 ann@example.net
//! assistant-press continue
//! assistant-form 201
//! assistant-press skip
//! assistant-form 202
//! assistant-press continue
//! mapi-call attachments 2
//! send-failed-box Sorry, sending the bug report didn't work.
//! press close
//! exit 1
//! report-count 1
//! report ^exception class +: EMapiFaultCase$
// clang-format on
//
// The mail interface's library faults inside MAPISendMail on the sending
// thread: that counts as a failed send (no mail program either, so the
// failure box says so), nothing is reported into the handler thread that
// waits for the sending thread, and "close application" still ends the
// program with the report saved.
#include "tests/crash/CrashProgram.h"

namespace qr {
QR_DECLARE_EXCEPTION(EMapiFaultCase, Exception);
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace qr;
    crashtest::TCrashProgram program;
    return program.RunFailing([] { throw EMapiFaultCase("A failure to send."); });
}
