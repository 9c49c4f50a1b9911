// clang-format off
//! mapi none
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
//! send-failed-box Sorry, sending the bug report didn't work.
//! press close
//! exit 1
//! report-count 1
// clang-format on
//
// Neither a mail interface nor a mail program: the message says so, and
// the report is saved as usual.
#include "tests/crash/CrashProgram.h"

namespace qr {
QR_DECLARE_EXCEPTION(EUnsentFailure, Exception);
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace qr;
    crashtest::TCrashProgram program;
    return program.RunFailing([] { throw EUnsentFailure("Nobody to send it."); });
}
