// clang-format off
//! dialog continue=enabled
//! post-close
//! wait-file quit-posted.txt
//! exit 7 30
//! report-count 1
//! report ^exception message +: Waiting for the dialog\.$
// clang-format on
//
// A quit message that reaches the main thread while it waits for its
// failure to be handled ends the wait and is posted again, so the program
// ends normally, with the quit message's code, while the dialog is still
// open; the report is saved on the way out.
#include "tests/crash/CrashProgram.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace qr;
    crashtest::TCrashProgram program;
    program.Application.OnCloseRequest = [] {
        PostQuitMessage(7);
        crashtest::TCrashProgram::WriteMarker(L"quit-posted.txt");
    };
    // Nothing else ends the loop and nobody answers the dialog: without
    // the quit message posted again, the program would not end.
    program.Post([] { throw qr::Exception("Waiting for the dialog."); });
    return program.Run();
}
