// clang-format off
//! dialog continue=enabled
//! press close
//! exit 1
//! report ^exception class +: ECompletionCase$
//! report-count 1
// clang-format on
//
// A report plug-in faults inside a function that may not throw: nothing
// can catch that on the completion thread, which then just ends (a
// failure of the crash reporter's own threads is never reported into the
// handler thread, which waits for that thread on "close application").
// "close application" ends the program with the report saved as far as
// it got.
#include <string>

#include "tests/crash/CrashProgram.h"

namespace qr {
QR_DECLARE_EXCEPTION(ECompletionCase, Exception);
}

namespace {

struct TRecord {
    int Before[6];
    int Field;
};

TRecord* volatile gRecord = nullptr;

__attribute__((noinline)) int ReadField(const TRecord* record) noexcept { return record->Field; }

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace qr;
    crashtest::TCrashProgram program;
    program.Reporter.RegisterPlugin({"hardware", "a plug-in that ends its thread",
                                     [] { return AnsiString(std::to_string(ReadField(gRecord))); }});
    return program.RunFailing([] { throw ECompletionCase("A failure whose report stops short."); });
}
