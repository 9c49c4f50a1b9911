// clang-format off
//! wait-file listening
//! client-send client divide
//! dialog send=enabled show=enabled continue=enabled restart=enabled close=enabled focus=send
//! press continue
//! client-send client after the division
//! forwarded after the division
//! post-close
//! exit 0
//! report ^exception class +: EDivByZero$
//! report ^exception message +: Division by zero\.?$
//! report-block ^main thread \(\$[0-9a-f]+\):$ ;; ^[0-9a-f]{16} \+[0-9a-f]+ HandOffDivision_crash\.exe +HandOffDivision_crash\.cpp +{line:raise} +\+ *\d+ .*Divide
//! report-count 1
// clang-format on
//
// A hand-off that divides by zero while the main thread runs it for a
// connection thread: the failure is reported on the main thread with
// "continue application" enabled, and the connection thread goes on as if
// the hand-off had succeeded, so the next message of the same connection
// is forwarded.
#include "app/FormClasses.h"
#include "app/MainForm_win32.h"
#include "app/QLSyncClass.h"
#include "server/ConnectionLoop.h"
#include "tests/crash/CrashProgram.h"
#include "tests/crash/FormServer.h"

namespace {

volatile int gZero = 0;

__attribute__((noinline)) int Divide(int value, int by) {
    return value / by;  //@ raise
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace qr;
    crashtest::TCrashProgram program;
    auto form = std::make_unique<TMainForm>(program.Application, program.Queue, LoadMainFormDescription());
    TForwardTargets targets;
    volatile int shown = 0;
    targets.ShowText = [&shown](const UString& text) {
        if (text == u"divide") shown = Divide(7, gZero);
    };
    targets.Writer = form->Writer();
    crashtest::ServeWith(*form, [&](TIdContext& context) {
        RunConnectionLoop(context.Connection(), [&](std::span<const UString> texts) {
            TQLSyncClass::HandOff(program.Queue, targets, texts);
        });
    });
    program.Application.OnCloseRequest = [&] { form->Close(); };
    int code = program.Run();
    form.reset();
    return code;
}
