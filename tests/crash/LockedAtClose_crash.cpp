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

namespace {

// Once the driver asks (the file "hold"), the locks are taken and the
// driver told (the file "held.txt"): the loader lock for 150 ms, the
// environment lock for 2 s, time enough for the driver's click.
DWORD WINAPI HoldLocksWhenAsked(void*) {
    using qr::crashtest::TCrashProgram;
    const std::wstring hold = TCrashProgram::Folder() + L"hold";
    for (int i = 0; i < 2400 && GetFileAttributesW(hold.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) Sleep(50);
    qr::testkit::TSystemLocks locks;
    locks.AcquireEnvironment();
    locks.AcquireLoader();
    TCrashProgram::WriteMarker(L"held.txt", L"held");
    Sleep(150);
    locks.ReleaseLoader();
    Sleep(1850);
    locks.ReleaseEnvironment();
    return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace qr;
    crashtest::TCrashProgram program;
    if (!testkit::TSystemLocks().Available()) return 30;
    program.HoldSectionUntilReleased("processes");
    HANDLE holder = CreateThread(nullptr, 0, &HoldLocksWhenAsked, nullptr, 0, nullptr);
    if (!holder) return 31;
    CloseHandle(holder);
    return program.RunFailing([] { throw ELockedAtClose("Closed while the locks were held."); });
}
