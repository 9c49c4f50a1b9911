// clang-format off
//! exit 1
//! no-report
// clang-format on
//
// The silent error is silent everywhere: in a message handler and in a
// thread (which ends) nothing is shown; at the outermost frame the process
// ends with exit code 1, still without a dialog or report. A dialog would
// keep the process from ending, so the driver's exit wait catches one.
#include "tests/crash/CrashProgram.h"

namespace {

DWORD WINAPI Aborting(void*) { throw qr::EAbort("Operation aborted"); }

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace qr;
    crashtest::TCrashProgram program;
    program.Post([] { throw EAbort("Operation aborted"); });
    program.PostQuit(0);
    if (program.Run() != 0) return 20;
    HANDLE thread = CreateThread(nullptr, 0, &Aborting, nullptr, 0, nullptr);
    if (!thread || WaitForSingleObject(thread, 120000) != WAIT_OBJECT_0) return 21;
    CloseHandle(thread);
    try {
        throw EAbort("Operation aborted");
    } catch (...) {
        program.Reporter.ReportException(std::current_exception(), TInterceptionPoint::OutermostFrame, false);
    }
    return 22;  // not reached
}
