// clang-format off
//! dialog continue=enabled
//! press close
//! exit 1
//! report ^exception class +: EPluginCase$
//! report-block ^hardware:$ ;; ^>> internal error in plugin:$ ;; ^{addr} \+[0-9a-f]+ PluginFault_crash\.exe +PluginFault_crash\.cpp +{line:fault} +\+ *\d+ \(anonymous namespace\)::Store$
//! report ^modules:$
//! report ^processes:$
//! report ^callstack crc +: \$[0-9a-f]{8}, \$[0-9a-f]{8}, \$[0-9a-f]{8}$
//! report-count 1
// clang-format on
//
// A report plug-in that writes through a null pointer while the
// completion thread builds its section: the fault is that step's error,
// so the section says so, with the place of the fault, and the rest of
// the report completes; "close application" then ends the program with
// the report saved.
#include "tests/crash/CrashProgram.h"

namespace qr {
QR_DECLARE_EXCEPTION(EPluginCase, Exception);
}

namespace {

struct TRecord {
    int Before[6];
    int Field;
};

TRecord* volatile gRecord = nullptr;

__attribute__((noinline)) void Store(TRecord* record, int value) {
    record->Field = value;  //@ fault
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace qr;
    crashtest::TCrashProgram program;
    program.Reporter.RegisterPlugin({"hardware", "a plug-in that faults", [] {
                                         Store(gRecord, 1);
                                         return AnsiString("never");
                                     }});
    return program.RunFailing([] { throw EPluginCase("A failure to report."); });
}
