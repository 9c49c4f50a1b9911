// clang-format off
//! dialog continue=enabled
//! press continue
//! dialog continue=enabled
//! press continue
//! exit 0
//! report-count 1
//! report ^count +: 2$
//! report ^version +: [0-9]+\.[0-9]+\.[0-9]+\.0$
//! report ^exception class +: ETwiceFailure$
// clang-format on
//
// The same failure twice: the dialog opens twice, and the report file
// holds one report with a count of 2.
#include "tests/crash/CrashProgram.h"

namespace qr {
QR_DECLARE_EXCEPTION(ETwiceFailure, Exception);
}

namespace {

__attribute__((noinline)) void Fail() { throw qr::ETwiceFailure("Again and again."); }

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace qr;
    crashtest::TCrashProgram program;
    return program.RunFailing(&Fail, 2);
}
