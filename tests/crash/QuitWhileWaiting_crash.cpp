// clang-format off
//! dialog continue=enabled
//! post-close
//! wait-file quit-posted.txt
//! press continue
//! exit 7
//! report-count 1
// clang-format on
//
// A quit message that reaches the main thread while it waits for its
// failure to be handled is posted again afterwards, so the program still
// ends normally, with the quit message's code.
#include "tests/crash/CrashProgram.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace qr;
    crashtest::TCrashProgram program;
    program.Application.OnCloseRequest = [] {
        PostQuitMessage(7);
        crashtest::TCrashProgram::WriteMarker(L"quit-posted.txt");
    };
    // Nothing else ends the loop: without the quit message posted again
    // after the dialog, the program would not end.
    program.Post([] { throw qr::Exception("Waiting for the dialog."); });
    return program.Run();
}
