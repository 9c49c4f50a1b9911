// clang-format off
//! x86-64-only x86: a fault in foreign code is not thrown yet (the unwinder knows only the program's own frames)
//! library faulty.dll
//! wait-form
//! click-form-button
//! dialog send=enabled show=enabled continue=enabled restart=enabled close=enabled focus=send
//! press continue
//! forward after the dialog
//! post-close
//! exit 0
//! report ^exception class +: EAccessViolation$
//! report ^exception message +: Access violation at address {ADDR} in module 'faulty\.dll'\. Write of address {ptr:18}\.?$
//! report ^{addr} \+[0-9a-f]+ faulty\.dll +WriteField$
//! report-count 1
// clang-format on
//
// A button handler that calls a function of a library which writes
// through a null pointer: a fault in foreign code under the program's
// handler reaches that handler like one in the program's own code, so the
// outcome is the same (reported from the main loop, "continue
// application" enabled, the program goes on and ends normally).
#include "app/FormClasses.h"
#include "app/MainForm_win32.h"
#include "app/ui/Controls_win32.h"
#include "tests/crash/CrashProgram.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace qr;
    crashtest::TCrashProgram program;
    HMODULE library = LoadLibraryW(L"faulty.dll");
    if (!library) return 10;
    using TWriteField = void (*)(void*, int);
    auto writeField =
        reinterpret_cast<TWriteField>(reinterpret_cast<void*>(GetProcAddress(library, "WriteField")));
    if (!writeField) return 11;
    auto form = std::make_unique<TMainForm>(program.Application, program.Queue, LoadMainFormDescription());
    form->TntButton1->OnClick = [writeField](TComponent*) { writeField(nullptr, 1); };
    program.Application.OnCloseRequest = [&] { form->Close(); };
    int code = program.Run();
    form.reset();
    return code;
}
