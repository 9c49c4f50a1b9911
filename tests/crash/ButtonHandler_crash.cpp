// clang-format off
//! wait-form
//! click-form-button
//! dialog send=enabled show=enabled continue=enabled restart=enabled close=enabled save=hidden print=hidden focus=send
//! press continue
//! forward after the dialog
//! post-close
//! exit 0
//! report ^exception class +: EButtonFailure$
//! report ^exception message +: The send button failed\.$
//! report ^executable +: ButtonHandler_crash\.exe$
//! report ^main thread \(\$[0-9a-f]+\):$
//! report ^IdTCPServer1 Listener #1 \(\$[0-9a-f]+\):
//! report-count 1
// clang-format on
//
// A throw in a button handler of the real main window: the dialog opens,
// "continue application" returns to the message loop, and the program
// still forwards what clients send. The report knows the threads by the
// names they gave themselves.
#include "app/FormClasses.h"
#include "app/MainForm_win32.h"
#include "app/ui/Controls_win32.h"
#include "tests/crash/CrashProgram.h"

namespace qr {
QR_DECLARE_EXCEPTION(EButtonFailure, Exception);
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace qr;
    crashtest::TCrashProgram program;
    auto form = std::make_unique<TMainForm>(program.Application, program.Queue, LoadMainFormDescription());
    form->TntButton1->OnClick = [](TComponent*) { throw EButtonFailure("The send button failed."); };
    program.Application.OnCloseRequest = [&] { form->Close(); };
    int code = program.Run();
    form.reset();
    return code;
}
