#pragma once
// Which treatment a failure gets: the first filter whose class list names
// the exception's class or one of its ancestors supplies the flags, else
// the general flags apply.
#include <string>
#include <vector>

#include "base/Text.h"

namespace qr {

class TIMESettings;

struct TFailureFlags {
    bool CreateBugReport = true;
    bool CreateScreenshot = true;  // also whether sending attaches it
    bool PauseThreads = false;
    bool CallHandlers = true;
    int ShowSetting = 0;  // 0 dialog, 1 assistant, 2 box with details, 3 plain box, 4 nothing
    UString Assistant;
};

// `classChain`: the exception's class first, then its ancestors; empty
// without an exception object.
TFailureFlags ApplyFailureFilters(const TIMESettings& settings, const std::vector<std::string>& classChain);

// True when the class or one of its ancestors is named `name`.
bool ChainHas(const std::vector<std::string>& classChain, std::string_view name);

}  // namespace qr
