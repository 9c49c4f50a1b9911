// clang-format off
//! make-dir bugreport.txt
//! dialog close=enabled
//! press close
//! exit 1
//! appdata-report ^exception class +: EBlockedFailure$
// clang-format on
//
// When the report file cannot be written beside the program (here a
// folder stands where the file would be), closing still ends the program
// with exit code 1 and the report goes under the user's application data.
#include "tests/crash/CrashProgram.h"

namespace qr {
QR_DECLARE_EXCEPTION(EBlockedFailure, Exception);
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace qr;
    crashtest::TCrashProgram program;
    return program.RunFailing([] { throw EBlockedFailure("No room beside the program."); });
}
