#include "app/MemoUpdate.h"

#include <utility>

namespace qr {

void TMemoUpdate::Note(const UString& text) {
    FText = text;
    FNoted = true;
}

void TMemoUpdate::Show() {
    if (!FNoted) return;
    UString text = std::move(FText);
    FText = UString();
    FNoted = false;
    if (FShow) FShow(text);
}

}  // namespace qr
