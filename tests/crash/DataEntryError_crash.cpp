// clang-format off
//! box title=DataEntryError_crash buttons=&OK
//! press ok
//! exit 0
//! no-report
// clang-format on
//
// A data-entry error gets a plain box with "&OK" only, titled with the
// program's name, and no report.
#include "tests/crash/CrashProgram.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace qr;
    crashtest::TCrashProgram program;
    return program.RunFailing(
        [] { throw EDBEditError("The value is not a valid date. Please enter it as year-month-day."); });
}
