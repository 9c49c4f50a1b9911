// clang-format off
//! dialog send=enabled show=enabled continue=enabled restart=enabled close=enabled focus=send
//! press continue
//! exit 0
//! report ^exception class +: EScreenshotCase$
//! report-count 1
// clang-format on
//
// Taking the screenshot fails (as right after an out-of-memory failure):
// that only clears create-screenshot; the dialog still opens and the
// automatic save still writes the report.
#include <new>

#include "tests/crash/CrashProgram.h"

namespace qr {
QR_DECLARE_EXCEPTION(EScreenshotCase, Exception);
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace qr;
    crashtest::TCrashProgram program;
    program.Reporter.SetScreenshotSource([]() -> std::optional<TScreenshot> { throw std::bad_alloc(); });
    return program.RunFailing([] { throw EScreenshotCase("A failure without a screenshot."); });
}
