#pragma once
// The message boxes the crash reporter shows for its own internal errors,
// behind an interface so that tests never open a real box.
#include <memory>

#include "base/Text.h"

namespace qr {

class IErrorBox {
public:
    virtual ~IErrorBox() = default;
    // Shows the text with one OK button and returns when it is closed.
    virtual void Show(const UString& text, const UString& caption) = 0;
};

// The system message box (Windows only).
std::unique_ptr<IErrorBox> CreateSystemErrorBox();

}  // namespace qr
