// clang-format off
//! wait-form
//! click-form-button
//! dialog send=enabled show=enabled continue=enabled focus=send
//! press show
//! dialog send=enabled show=hidden continue=enabled restart=enabled close=enabled
//! tabs general|call stacks|modules|processes|hardware|cpu regs|stack dump|disasm
//! columns general=description|value
//! columns call stacks=address|rel.|module|unit|line|rel.|function
//! columns cpu regs=reg.|content
//! columns stack dump=address|data - hexadecimal|data - chars
//! cell modules=>> will be calculated soon
//! cell call stacks=>> stack will be calculated soon
//! copy-report
//! please-wait
//! touch release
//! no-please-wait
//! cell modules=once the driver allows it
//! no-cell modules=will be calculated soon
//! no-cell call stacks=will be calculated soon
//! clipboard ^callstack crc +: \$[0-9a-f]{8}, \$[0-9a-f]{8}, \$[0-9a-f]{8}$
//! clipboard ^slow section, written once the driver allows it$
//! press continue
//! post-close
//! exit 0
//! report ^exception class +: ELargeFormFailure$
// clang-format on
//
// "show bug report" re-opens the dialog in its large form while the report
// is still being completed: a section of the program's own holds the
// completion until the driver writes the file "release", so the tabs show
// their placeholders first and fill in afterwards. Ctrl+C asks for the
// complete report and shows the please-wait window until then.
#include "app/FormClasses.h"
#include "app/MainForm_win32.h"
#include "app/ui/Controls_win32.h"
#include "tests/crash/CrashProgram.h"

namespace qr {
QR_DECLARE_EXCEPTION(ELargeFormFailure, Exception);
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace qr;
    crashtest::TCrashProgram program;
    program.HoldSectionUntilReleased("modules");
    auto form = std::make_unique<TMainForm>(program.Application, program.Queue, LoadMainFormDescription());
    form->TntButton1->OnClick = [](TComponent*) { throw ELargeFormFailure("The large form is asked for."); };
    program.Application.OnCloseRequest = [&] { form->Close(); };
    int code = program.Run();
    form.reset();
    return code;
}
