// clang-format off
//! wait-file dialog-refused.txt
//! no-dialog
//! exit 1
//! report-count 2
//! report ^exception class +: EFirstWithoutDialog$
//! report ^exception class +: ESecondWithoutDialog$
// clang-format on
//
// The crash dialog's window cannot be created (as when the program is out
// of window or GDI handles): each failure is handled as if the dialog's
// escape key had been pressed. The first one can be continued, so the
// program goes on; the second cannot, so it closes the program with exit
// code 1. Both reports are saved.
#include "tests/crash/CrashProgram.h"

namespace qr {
QR_DECLARE_EXCEPTION(EFirstWithoutDialog, Exception);
QR_DECLARE_EXCEPTION(ESecondWithoutDialog, Exception);
}  // namespace qr

namespace {

// The dialog's class taken first, with a procedure that refuses every
// window: the dialog then finds its class registered and its window is
// not created, as the system refuses it when no handles are left.
LRESULT CALLBACK RefusingProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        qr::crashtest::TCrashProgram::WriteMarker(L"dialog-refused.txt");
        return FALSE;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

bool TakeDialogClass() {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &RefusingProcedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"TobriskWndClass";
    return RegisterClassExW(&windowClass) != 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace qr;
    crashtest::TCrashProgram program;
    if (!TakeDialogClass()) return 10;
    program.Post([] { throw EFirstWithoutDialog("The dialog cannot open; the program goes on."); });
    program.Post([&program] {
        try {
            throw ESecondWithoutDialog("The dialog cannot open; the program closes.");
        } catch (...) {
            program.Reporter.ReportException(std::current_exception(), TInterceptionPoint::OutermostFrame,
                                             false);
        }
    });
    program.PostQuit(0);
    return program.Run();
}
