// clang-format off
//! mapi answer=2
//! mailer
//! dialog continue=enabled
//! press continue
//! dialog send=enabled
//! send
//! assistant-form 204
//! assistant-type 203 ann@example.net
//! assistant-press continue
//! assistant-form 201
//! assistant-press skip
//! assistant-form 202
//! assistant-press continue
//! mailer-command ^"[^"]*quellora-mailer\.exe" -compose "mailto:\?subject=bug%20report&body=date/time(%20)+:%20
//! mailer-link-whole 32766
//! press close
//! exit 1
//! report-count 1
//! report ^count +: 2$
// clang-format on
//
// The mail interface fails and the registered mail program gets the report
// as a "mailto:" link, but the report (its message is long) is longer than
// a command line may be: the link carries only its start. That is no sent
// report, so the automatic save keeps it: the second failure, the same as
// the first, collapses with the first one's report into one with the
// count 2.
#include <string>

#include "tests/crash/CrashProgram.h"

namespace qr {
QR_DECLARE_EXCEPTION(ELongMessageFailure, Exception);
}

namespace {

// Each "%" becomes "%25" in the link: 12,000 of them fill 36,000 characters.
__attribute__((noinline)) void Fail() { throw qr::ELongMessageFailure("Long: " + std::string(12000, '%')); }

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace qr;
    crashtest::TCrashProgram program;
    return program.RunFailing(&Fail, 2);
}
