// clang-format off
//! mapi answer=0 hold
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
//! send
//! no-assistant
//! press close
//! still-running
//! mapi-release
//! exit 1
//! no-report
// clang-format on
//
// "send bug report" pressed a second time while the first mail is still
// open in the mail program: the press is refused (no second assistant, so
// no second sending thread that would take the first one's place as the
// one that close waits for), "close application" closes the dialog, and the
// program ends only once the one send is done, with the report file gone
// and not written again.
#include "tests/crash/CrashProgram.h"

namespace qr {
QR_DECLARE_EXCEPTION(ESentTwice, Exception);
}

namespace {

__attribute__((noinline)) void Fail() { throw qr::ESentTwice("The send button is pressed twice."); }

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace qr;
    crashtest::TCrashProgram program;
    return program.RunFailing(&Fail, 1);
}
