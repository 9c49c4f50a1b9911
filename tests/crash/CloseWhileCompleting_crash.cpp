// clang-format off
//! dialog continue=enabled restart=enabled close=enabled
//! click close
//! please-wait over-dialog
//! touch release
//! exit 1
//! report ^exception class +: EClosedEarly$
//! report ^slow section, written once the driver allows it$
// clang-format on
//
// "close application" while the report is still being completed: the
// report is finished before the dialog goes, with the please-wait window in
// front of the still disabled dialog, and the saved report is whole. A
// section of the program's own holds the completion until the driver writes
// the file "release".
#include "tests/crash/CrashProgram.h"

namespace qr {
QR_DECLARE_EXCEPTION(EClosedEarly, Exception);
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace qr;
    crashtest::TCrashProgram program;
    program.HoldSectionUntilReleased("processes");
    return program.RunFailing([] { throw EClosedEarly("Closed before the report was complete."); });
}
