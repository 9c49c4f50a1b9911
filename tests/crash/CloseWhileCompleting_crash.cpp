// clang-format off
//! dialog continue=enabled restart=enabled close=enabled
//! click close
//! please-wait over-dialog
//! touch release
//! exit 1
//! report ^exception class +: EClosedEarly$
//! report ^slow section, written once the driver allows it$
// clang-format on
//
// "close application" while the report is still being completed: the
// report is finished before the dialog goes, with the please-wait window in
// front of the still disabled dialog, and the saved report is whole. A
// section of the program's own holds the completion until the driver writes
// the file "release".
#include <string>

#include "tests/crash/CrashProgram.h"

namespace qr {
QR_DECLARE_EXCEPTION(EClosedEarly, Exception);
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace qr;
    crashtest::TCrashProgram program;
    const std::wstring release = crashtest::TCrashProgram::Folder() + L"release";
    program.Reporter.RegisterPlugin({"processes", "held until the driver releases it", [release] {
                                         // Bounded: a driver that never releases it still gets its report.
                                         for (int i = 0; i < 1200; ++i) {
                                             if (GetFileAttributesW(release.c_str()) !=
                                                 INVALID_FILE_ATTRIBUTES)
                                                 break;
                                             Sleep(50);
                                         }
                                         return AnsiString("slow section, written once the driver allows it");
                                     }});
    program.Post([] { throw EClosedEarly("Closed before the report was complete."); });
    program.PostQuit(0);
    return program.Run();
}
