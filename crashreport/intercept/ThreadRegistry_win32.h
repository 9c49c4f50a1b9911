#pragma once
// The thread registry of the process, in the named block
// "TobriskThreadNameBuf$<pid>" that all modules of the process share.
#include <memory>

#include "base/win32/Handles.h"
#include "crashreport/intercept/ThreadTable.h"

namespace qr {

class TThreadRegistry {
public:
    // Null when the block cannot be opened.
    static std::unique_ptr<TThreadRegistry> Open();
    TThreadTable& Table() { return FTable; }

private:
    TThreadRegistry(win32::THandle mapping, win32::TMappedView view);

    win32::THandle FMapping;
    win32::TMappedView FView;
    TThreadTable FTable;
};

}  // namespace qr
