// clang-format off
//! mapi answer=1
//! dialog send=enabled
//! dialog-topmost yes
//! send
//! assistant-form 204
//! dialog-topmost no
//! assistant-text 201
//! assistant-checked 204 no
//! assistant-type 201 Ann Example
//! assistant-type 203 ann@example.net
//! assistant-click 204
//! assistant-checked 204 yes
//! assistant-press continue
//! assistant-form 201
//! assistant-press skip
//! assistant-form 202
//! assistant-press continue
//! mapi-call subject bug report
//! remembered Ann Example|ann@example.net
//! press close
//! exit 1
//! run-again
//! dialog send=enabled
//! send
//! assistant-form 204
//! assistant-text 201 Ann Example
//! assistant-text 203 ann@example.net
//! assistant-checked 204 yes
//! assistant-focus continue
//! assistant-click 204
//! assistant-checked 204 no
//! assistant-press continue
//! assistant-form 201
//! assistant-press cancel
//! dialog-topmost yes
//! dialog-active
//! remembered none
//! press close
//! exit 1
// clang-format on
//
// "remember me" in the send assistant's contact form: the first run stores
// the name and address, the next run of the program offers them again with
// the box ticked and "Continue" focused; unticking it forgets them. While an
// assistant is open the crash dialog is not topmost, so that the assistant
// can stand in front of it; a cancelled assistant gives the dialog its
// place back and leaves it the active window.
#include "tests/crash/CrashProgram.h"

namespace qr {
QR_DECLARE_EXCEPTION(ERememberedContact, Exception);
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace qr;
    crashtest::TCrashProgram program;
    return program.RunFailing([] { throw ERememberedContact("Who reports this?"); });
}
