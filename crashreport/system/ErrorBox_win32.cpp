#include <windows.h>

#include "base/win32/WideText.h"
#include "crashreport/system/ErrorBox.h"

namespace qr {

namespace {

class TSystemErrorBox : public IErrorBox {
public:
    void Show(const UString& text, const UString& caption) override {
        // Modal until the user closes it; there is no window of ours yet
        // that could own it.
        MessageBoxW(nullptr, win32::Wide(text), win32::Wide(caption), MB_OK | MB_ICONERROR | MB_TASKMODAL);
    }
};

}  // namespace

std::unique_ptr<IErrorBox> CreateSystemErrorBox() { return std::make_unique<TSystemErrorBox>(); }

}  // namespace qr
