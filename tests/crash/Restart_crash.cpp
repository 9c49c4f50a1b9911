// clang-format off
//! args --first "a b" c
//! dialog continue=enabled restart=enabled close=enabled
//! press restart
//! exit 2
//! wait-file restarted.txt
//! file restarted.txt restarted from {pid}, which had ended; command line: {commandline}
//! report ^exception class +: ERestartFailure$
// clang-format on
//
// "restart application": the new instance has the same command line,
// waits until the old one has ended, and knows it was restarted.
#include <string>

#include "tests/crash/CrashProgram.h"

namespace qr {
QR_DECLARE_EXCEPTION(ERestartFailure, Exception);
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace qr;
    crashtest::TCrashProgram program;
    if (std::optional<uint32_t> old = program.Reporter.RestartedFrom()) {
        HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, *old);
        DWORD code = STILL_ACTIVE;
        bool ended = !process || (GetExitCodeProcess(process, &code) && code != STILL_ACTIVE);
        if (process) CloseHandle(process);
        std::wstring text = L"restarted from " + std::to_wstring(*old) +
                            (ended ? L", which had ended" : L", which still ran") + L"; command line: " +
                            GetCommandLineW();
        crashtest::TCrashProgram::WriteMarker(L"restarted.txt", text);
        return 0;
    }
    return program.RunFailing([] { throw ERestartFailure("Restart me."); });
}
