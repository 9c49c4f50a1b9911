// clang-format off
//! dialog send=enabled show=enabled continue=enabled restart=enabled close=enabled focus=send
//! press continue
//! exit 0
//! report ^exception class +: EAccessViolation$
//! report ^exception message +: Access violation at address {ADDR} in module 'ThreadAccessViolation_crash\.exe'\. Write of address {ptr:18}\.?$
//! report-count 1
// clang-format on
//
// An access violation in a thread the program created: it can be
// continued, and only that thread ends (with exit code -1). The program
// checks that and that its main thread still runs its loop.
#include "tests/crash/CrashProgram.h"

namespace {

struct TRecord {
    int Before[6];
    int Field;
};

DWORD WINAPI Failing(void* record) {
    // Written through a null pointer: the field lies 24 bytes in.
    TRecord* volatile target = static_cast<TRecord*>(record);
    target->Field = 1;
    return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace qr;
    crashtest::TCrashProgram program;
    return program.RunFailingThread(&Failing);
}
