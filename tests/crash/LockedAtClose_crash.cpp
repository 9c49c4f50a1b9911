// clang-format off
//! dialog continue=enabled restart=enabled close=enabled
//! touch hold
//! wait-file held.txt
//! click close
//! please-wait over-dialog
//! touch release
//! exit 1
//! report ^exception class +: ELockedAtClose$
//! report ^slow section, written once the driver allows it$
// clang-format on
//
// "close application" while another thread holds the environment lock,
// and the loader lock for a moment: neither keeps the report from being
// completed before it is saved, so the saved report holds the section that
// was still being written, not its placeholder. A section of the program's
// own holds the completion until the driver writes the file "release".
#include "tests/crash/CrashProgram.h"
#include "tests/support/SystemLocks_win32.h"

namespace qr {
QR_DECLARE_EXCEPTION(ELockedAtClose, Exception);
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace qr;
    crashtest::TCrashProgram program;
    program.HoldSectionUntilReleased("processes");
    // Once the driver asks (the file "hold"), the locks are taken and the
    // driver told (the file "held.txt"): the loader lock for 150 ms, the
    // environment lock for 2 s, time enough for the driver's click.
    testkit::HoldSystemLocks(
        [] {
            const std::wstring hold = crashtest::TCrashProgram::Folder() + L"hold";
            for (int i = 0; i < 2400 && GetFileAttributesW(hold.c_str()) == INVALID_FILE_ATTRIBUTES; ++i)
                Sleep(50);
        },
        [] { crashtest::TCrashProgram::WriteMarker(L"held.txt", L"held"); }, 150, 2000);
    return program.RunFailing([] { throw ELockedAtClose("Closed while the locks were held."); });
}
