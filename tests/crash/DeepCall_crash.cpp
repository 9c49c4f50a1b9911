// clang-format off
//! dialog continue=enabled
//! press continue
//! exit 0
//! report-block ^thread \$[0-9a-f]+:$ ;; ^{addr} \+[0-9a-f]+ DeepCall_crash\.exe +DeepCall_crash\.cpp +{line:raise} +\+ *\d+ .*Innermost ;; ^{addr} \+[0-9a-f]+ DeepCall_crash\.exe +DeepCall_crash\.cpp +{line:middle} +\+ *\d+ .*Middle ;; ^{addr} \+[0-9a-f]+ DeepCall_crash\.exe +DeepCall_crash\.cpp +{line:outer} +\+ *\d+ .*Outer ;; ^{addr} \+[0-9a-f]+ DeepCall_crash\.exe +DeepCall_crash\.cpp +{line:start} +\+ *\d+ .*ThreadStart
//! report ^{addr} \+[0-9a-f]+ kernel32\.dll +BaseThreadInitThunk$
//! report-block ^>> created by main thread \(\$[0-9a-f]+\) at:$ ;; ^{addr} \+[0-9a-f]+ DeepCall_crash\.exe +DeepCall_crash\.cpp +{line:create} +\+ *\d+ wWinMain
//! report-block ^main thread \(\$[0-9a-f]+\):$
//! report-block ^{addr} \+[0-9a-f]+ DeepCall_crash\.exe +DeepCall_crash\.cpp +{line:wait} +\+ *\d+ wWinMain
//! report ^{addr} \+[0-9a-f]+ DeepCall_crash\.exe +crtexe\.c +\d+ +\+ *\d+ .*CRTStartup
//! report-block ^loc_{addr}$ ;; ^{addr} > +{line:raise} mov
//! report ^callstack crc +: \$[0-9a-f]{8}, \$[0-9a-f]{8}, \$[0-9a-f]{8}$
//! run-again
//! dialog continue=enabled
//! press continue
//! exit 0
//! report-count 1
//! report ^count +: 2$
// clang-format on
//
// An access violation three calls deep in a thread of the program. The
// report names the three functions with their lines, their callers down
// to the system's thread start, the main thread down to the program's
// entry, and marks the failing instruction. A second run of the same
// program fails with the same call-stack checksums, so the report file
// keeps one report counted twice.
#include "tests/crash/CrashProgram.h"

namespace {

struct TRecord {
    int Before[6];
    int Field;
};

// Each step does some work after its call, so that no call becomes a
// jump. The record comes from the thread's parameter: null, which the
// compiler cannot know.
// The switch on the record's low address bits becomes a case jump table;
// the failing case is reached only through it, so its label in the
// listing shows that the table was read.
__attribute__((noinline)) int Innermost(TRecord* record, int depth) {
    switch (reinterpret_cast<uintptr_t>(record) & 7) {
        case 0:
            record->Field = depth;  //@ raise
            break;
        case 1:
            Sleep(1);
            break;
        case 2:
            SetLastError(2);
            break;
        case 3:
            SwitchToThread();
            break;
        case 4:
            SetLastError(DWORD(depth));
            break;
        case 5:
            Sleep(DWORD(depth));
            break;
        default:
            return 0;
    }
    return depth * 2;
}

__attribute__((noinline)) int Middle(TRecord* record, int depth) {
    int result = Innermost(record, depth + 1);  //@ middle
    return result * 3 + depth;
}

__attribute__((noinline)) int Outer(TRecord* record, int depth) {
    int result = Middle(record, depth + 1);  //@ outer
    return result - depth;
}

DWORD WINAPI ThreadStart(void* record) {
    int result = Outer(static_cast<TRecord*>(record), 1);  //@ start
    asm volatile("" ::: "memory");                         // no tail call: the frame stays
    return DWORD(result);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace qr;
    crashtest::TCrashProgram program;
    HANDLE thread = CreateThread(nullptr, 0, &ThreadStart, nullptr, 0, nullptr);  //@ create
    if (!thread) return 10;
    // Bounded: the failure's handling ends the thread once the dialog is answered.
    DWORD ended = WaitForSingleObject(thread, 120000);  //@ wait
    CloseHandle(thread);
    if (ended != WAIT_OBJECT_0) return 11;
    program.PostQuit(0);
    return program.Run();
}
