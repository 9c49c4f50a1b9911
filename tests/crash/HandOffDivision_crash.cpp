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
//! report-block ^main thread \(\$[0-9a-f]+\):$ ;; ^{addr} \+[0-9a-f]+ HandOffDivision_crash\.exe +HandOffDivision_crash\.cpp +{line:raise} +\+ *\d+ .*Divide
//! report-count 1
// clang-format on
//
// A hand-off that divides by zero while the main thread runs it for a
// connection thread: the failure is reported on the main thread with
// "continue application" enabled, and the connection thread goes on as if
// the hand-off had succeeded, so the next message of the same connection
// is forwarded.
#include <vector>

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
    crashtest::TServedForm served(program);
    volatile int quotient = 0;
    served.Serve([&](TIdContext& context) {
        RunConnectionLoop(context.Connection(), [&](std::span<const UString> texts) {
            // "divide" is a hand-off of its own that divides on the main
            // thread; the other messages are forwarded as the window's
            // handler does.
            std::vector<UString> others;
            for (const UString& text : texts) {
                if (text == u"divide")
                    program.Queue.Execute([&] { quotient = Divide(7, gZero); });
                else
                    others.push_back(text);
            }
            TQLSyncClass::HandOff(program.Queue, served.Targets(), others);
        });
    });
    return served.Run();
}
