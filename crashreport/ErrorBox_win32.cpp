#include <windows.h>

#include "crashreport/ErrorBox.h"

namespace qr {

namespace {

class TSystemErrorBox : public IErrorBox {
public:
    void Show(const UString& text, const UString& caption) override {
        // Modal until the user closes it; there is no window of ours yet
        // that could own it.
        MessageBoxW(nullptr, reinterpret_cast<const wchar_t*>(text.c_str()),
                    reinterpret_cast<const wchar_t*>(caption.c_str()), MB_OK | MB_ICONERROR | MB_TASKMODAL);
    }
};

}  // namespace

std::unique_ptr<IErrorBox> CreateSystemErrorBox() { return std::make_unique<TSystemErrorBox>(); }

}  // namespace qr
