// clang-format off
//! wait-form
//! click-form-button
//! dialog send=enabled show=enabled continue=enabled restart=enabled close=enabled focus=send
//! press continue
//! forward after the dialog
//! post-close
//! exit 0
//! report ^exception class +: EAccessViolation$
//! report ^exception message +: Access violation at address {ADDR} in module 'ButtonAccessViolation_crash\.exe'\. Write of address {ptr:18}\.?$
//! report-block ^\(anonymous namespace\)::Store +; function entry point$ ;; ^{addr} > +{line:raise} mov
//! report-count 1
// clang-format on
//
// A button handler of the real main window that writes through a null
// pointer: the fault is an error like any other, so the main loop's
// handler reports it with "continue application" enabled, the program
// goes on forwarding after "continue", and the tray's close ends it
// normally. The report marks the faulting instruction.
#include "app/FormClasses.h"
#include "app/MainForm_win32.h"
#include "app/ui/Controls_win32.h"
#include "tests/crash/CrashProgram.h"

namespace {

struct TRecord {
    int Before[6];
    int Field;
};

TRecord* volatile gRecord = nullptr;

__attribute__((noinline)) void Store(TRecord* record, int value) {
    record->Field = value;  //@ raise
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace qr;
    crashtest::TCrashProgram program;
    auto form = std::make_unique<TMainForm>(program.Application, program.Queue, LoadMainFormDescription());
    form->TntButton1->OnClick = [](TComponent*) { Store(gRecord, 1); };
    program.Application.OnCloseRequest = [&] { form->Close(); };
    int code = program.Run();
    form.reset();
    return code;
}
