// clang-format off
//! dialog send=enabled show=enabled continue=disabled restart=enabled close=enabled focus=send
//! press escape
//! exit 1
//! report ^exception class +: EOutermostFailure$
//! report ^exception message +: Nothing caught this\.$
//! report-count 1
// clang-format on
//
// A throw that reaches the program's outermost frame cannot be continued:
// "continue application" is disabled, escape closes the program with exit
// code 1, and the report is saved first.
#include "tests/crash/CrashProgram.h"

namespace qr {
QR_DECLARE_EXCEPTION(EOutermostFailure, Exception);
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace qr;
    crashtest::TCrashProgram program;
    try {
        throw EOutermostFailure("Nothing caught this.");
    } catch (...) {
        program.Reporter.ReportException(std::current_exception(), TInterceptionPoint::OutermostFrame, false);
    }
    return 0;  // not reached: a failure that cannot be continued ends the process
}
