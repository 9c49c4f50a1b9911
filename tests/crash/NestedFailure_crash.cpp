// clang-format off
//! dialog continue=enabled
//! press continue
//! dialog continue=enabled
//! press continue
//! exit 0
//! report-count 2
//! report ^exception class +: EOuterFailure$
//! report ^exception class +: EInnerFailure$
// clang-format on
//
// A second failure of the main thread while its first is being handled
// (raised by a message the waiting main thread dispatches) waits for the
// first dialog and is then shown; neither is lost.
#include "tests/crash/CrashProgram.h"

namespace qr {
QR_DECLARE_EXCEPTION(EOuterFailure, Exception);
QR_DECLARE_EXCEPTION(EInnerFailure, Exception);
}  // namespace qr

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace qr;
    crashtest::TCrashProgram program;
    constexpr UINT kInner = WM_APP + 0x52;
    TApplication::TWindowHook inner = [](UINT msg, WPARAM, LPARAM, LRESULT&) {
        if (msg == kInner) throw EInnerFailure("Raised under the first dialog.");
        return false;
    };
    program.Application.HookMainWindow(&inner);
    program.Post([&] {
        PostMessageW(program.Application.Handle(), kInner, 0, 0);
        throw EOuterFailure("The first one.");
    });
    program.PostQuit(0);
    int code = program.Run();
    program.Application.UnhookMainWindow(&inner);
    return code;
}
