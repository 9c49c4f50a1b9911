// clang-format off
//! dialog send=enabled show=enabled continue=enabled restart=enabled close=enabled focus=send
//! press continue
//! exit 0
//! report ^exception class +: EStackOverflow$
//! report ^exception message +: Stack overflow\.?$
//! report-count 1
// clang-format on
//
// A thread that overflows its stack: reported with "continue application"
// enabled, and only that thread ends (with exit code -1). The program
// checks that, and that its main thread still runs its loop.
#include "tests/crash/CrashProgram.h"

namespace {

volatile int gNever = -1;

// Each level keeps a block on the stack and does work after the call, so
// that the recursion can become neither a loop nor a tail call.
__attribute__((noinline)) int Deeper(int depth) {
    if (depth == gNever) return 0;
    volatile char block[512];
    block[depth % sizeof block] = static_cast<char>(depth);
    return Deeper(depth + 1) + block[0];
}

DWORD WINAPI Overflowing(void*) { return static_cast<DWORD>(Deeper(0)); }

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace qr;
    crashtest::TCrashProgram program;
    return program.RunFailingThread(&Overflowing, 256 * 1024);
}
