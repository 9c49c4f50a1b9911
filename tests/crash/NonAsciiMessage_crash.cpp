// clang-format off
//! mapi answer=0
//! dialog send=enabled show=enabled
//! press show
//! dialog send=enabled show=hidden
//! cell general=Illegal character in node name "Lautstärke hoch".
//! send
//! assistant-form 204
//! assistant-type 203 ann@example.net
//! assistant-press continue
//! assistant-form 201
//! assistant-press skip
//! assistant-form 202
//! assistant-press continue
//! mapi-call subject bug report
//! mapi-attached-line bugreport.txt ^exception message +: Illegal character in node name "Lautst\xe4rke hoch"\.$
//! press close
//! exit 1
//! no-report
// clang-format on
//
// The manual send panel's action "Lautstärke hoch" raises the XML naming
// error, whose message (UTF-8 in the program) names the action. The large
// form shows it as it is, and the report that goes with the mail holds it
// in the code page, "ä" as the byte 0xE4.
#include "link/IpcCommand.h"
#include "tests/crash/CrashProgram.h"

namespace {

__attribute__((noinline)) void Fail() { qr::BuildIpcCommand(u"Lautst\u00e4rke hoch", u"5", u""); }

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace qr;
    crashtest::TCrashProgram program;
    return program.RunFailing(&Fail, 1);
}
