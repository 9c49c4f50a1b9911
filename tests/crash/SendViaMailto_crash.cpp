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
//! mapi-call subject bug report
//! mailer-command ^"[^"]*quellora-mailer\.exe" -compose "mailto:\?subject=bug%20report&body=date/time(%20)+:%20
//! mailer-command %0D%0Aexception%20class(%20)+:%20EMailtoFailure%0D%0Aexception%20message(%20)+:%20Quotes%20%22and%22%20%25PATH%25%20%26%20more\.%0D%0A
//! mailer-link-whole 32766
//! press close
//! exit 1
//! report-count 1
// clang-format on
//
// The mail interface fails: the registered mail program gets the report as
// a "mailto:" link in place of its "%1", with nothing in the report text
// (quotes, "%", "&", line breaks, blanks) able to leave the link. That
// counts as sent, but only the current report travelled: the report file
// with the first failure's report stays, and the second is not saved.
#include "tests/crash/CrashProgram.h"

namespace qr {
QR_DECLARE_EXCEPTION(EMailtoFailure, Exception);
}

namespace {

__attribute__((noinline)) void Fail() { throw qr::EMailtoFailure("Quotes \"and\" %PATH% & more."); }

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace qr;
    crashtest::TCrashProgram program;
    return program.RunFailing(&Fail, 2);
}
