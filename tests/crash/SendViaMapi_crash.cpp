// clang-format off
//! mapi answer=0 hold
//! dialog continue=enabled
//! press continue
//! screen-shows 100 90 255 0 255
//! click-window QRColourPatch
//! dialog send=enabled focus=send
//! send
//! assistant-form 204
//! assistant-disabled continue
//! assistant-type 201 Ann Example
//! assistant-type 203 ann@
//! assistant-disabled continue
//! assistant-type 203 ann@example.net
//! assistant-press continue
//! assistant-form 201
//! assistant-press skip
//! assistant-form 202
//! assistant-press continue
//! mapi-call subject bug report
//! mapi-call body please find the bug report attached
//! mapi-call flags 9
//! mapi-call owner none
//! mapi-call recipients 0
//! mapi-call attachments 2
//! mapi-attached bugreport.txt
//! mapi-attached screenshot.png
//! mapi-attached-line bugreport.txt ^exception class +: EMailedFailure$
//! mapi-attached-line bugreport.txt ^count +: 2$
//! mapi-attached-line bugreport.txt ^contact name +: Ann Example$
//! mapi-attached-line bugreport.txt ^contact email +: ann@example.net$
//! screenshot-shows screenshot.png 100 90 255 0 255
//! press close
//! still-running
//! mapi-release
//! exit 1
//! no-report
// clang-format on
//
// "send bug report" hands the mail interface the mail with both
// attachments: the report file (which the first failure left) with the
// current report in it, and the screen at the failure, on which a magenta
// patch was shown. The user presses "close application" while the mail is
// still open in the mail program: the program ends once the send is done,
// with the report file gone and not written again.
#include "tests/crash/CrashProgram.h"

namespace qr {
QR_DECLARE_EXCEPTION(EMailedFailure, Exception);
}

namespace {

__attribute__((noinline)) void Fail() { throw qr::EMailedFailure("The report goes by mail."); }

// A click on the patch runs the program's next failure.
LRESULT CALLBACK PatchProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_LBUTTONUP) {
        auto* program =
            reinterpret_cast<qr::crashtest::TCrashProgram*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (program) program->Post(&Fail);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    using namespace qr;
    crashtest::TCrashProgram program;
    win32::TBrush magenta(CreateSolidBrush(RGB(255, 0, 255)));
    WNDCLASSW patchClass{};
    patchClass.lpfnWndProc = &PatchProc;
    patchClass.hInstance = instance;
    patchClass.hbrBackground = magenta.Get();
    patchClass.lpszClassName = L"QRColourPatch";
    RegisterClassW(&patchClass);
    win32::TWindowHandle patch;
    program.Post(&Fail);
    program.Post([&] {
        patch.Reset(CreateWindowExW(WS_EX_TOOLWINDOW, L"QRColourPatch", L"", WS_POPUP | WS_VISIBLE, 40, 40,
                                    200, 150, nullptr, nullptr, instance, nullptr));
        SetWindowLongPtrW(patch.Get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&program));
        UpdateWindow(patch.Get());
    });
    return program.Run();
}
