// clang-format off
//! please-wait
//! touch release
//! dialog continue=enabled
//! press continue
//! exit 0
//! report ^exception class +: EUnderTheLock$
//! report ^slow section, written once the driver allows it$
// clang-format on
//
// A failure while another thread keeps the environment lock: no thread
// could start, so the failing thread handles it itself and completes the
// report at once, behind the please-wait window, before the dialog opens.
// A section of the program's own holds the completion until the driver has
// seen the window and writes the file "release".
#include "tests/crash/CrashProgram.h"
#include "tests/support/SystemLocks_win32.h"

namespace qr {
QR_DECLARE_EXCEPTION(EUnderTheLock, Exception);
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace qr;
    crashtest::TCrashProgram program;
    program.HoldSectionUntilReleased("processes");
    return program.RunFailing([] {
        // Longer than the failing thread asks for the lock, short enough
        // that the handling's own reads of the environment wait only a little.
        HANDLE held = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        testkit::HoldSystemLocks(
            nullptr, [held] { SetEvent(held); }, 0, 1500);
        if (WaitForSingleObject(held, 60000) != WAIT_OBJECT_0) ExitProcess(31);
        CloseHandle(held);
        throw EUnderTheLock("Failed while the environment was locked.");
    });
}
