#pragma once
// Asking the user where to save a report (Windows only).
#include <optional>

#include "base/Text.h"

namespace qr {

// Shows the save-file dialog owned by `owner` (a window handle) with the
// name's file part, its folder (the desktop when it has none), the filter
// "*.txt", the default extension ".txt" and `title`. None when cancelled.
std::optional<UString> AskReportFileName(void* owner, const UString& name, const UString& title,
                                         const UString& desktopFolder);

}  // namespace qr
