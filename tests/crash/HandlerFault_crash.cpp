// clang-format off
//! dialog continue=enabled
//! press continue
//! exit 0
//! report ^exception class +: EAfterTheFault$
//! report ^exception message +: The second failure\.$
//! report-count 1
// clang-format on
//
// An error whose message getter faults while the handler thread formats
// it: nothing catches that fault on the handler thread (the getter may
// not throw), which releases that failure without a report and hands its
// pipe to a new handler thread; the next failure still gets its dialog.
#include "tests/crash/CrashProgram.h"

namespace qr {
QR_DECLARE_EXCEPTION(EAfterTheFault, Exception);
}

namespace {

struct TText {
    const char* Chars;
};

TText* volatile gText = nullptr;

class TFaultyMessage : public std::exception {
public:
    const char* what() const noexcept override { return gText->Chars; }
};

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace qr;
    crashtest::TCrashProgram program;
    program.Post([] { throw TFaultyMessage(); });
    program.Post([] { throw EAfterTheFault("The second failure."); });
    program.PostQuit(0);
    return program.Run();
}
