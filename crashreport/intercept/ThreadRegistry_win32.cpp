#include "crashreport/intercept/ThreadRegistry_win32.h"

#include "base/win32/WideText.h"
#include "crashreport/settings/KernelObjectNames.h"

namespace qr {

namespace {

bool ThreadEnded(uint32_t id) {
    win32::THandle thread(OpenThread(SYNCHRONIZE, FALSE, id));
    return !thread || WaitForSingleObject(thread.Get(), 0) == WAIT_OBJECT_0;
}

}  // namespace

TThreadRegistry::TThreadRegistry(win32::THandle mapping, win32::TMappedView view)
    : FMapping(std::move(mapping)),
      FView(std::move(view)),
      FTable(*static_cast<TThreadTableBlock*>(FView.Get()), &ThreadEnded) {}

std::unique_ptr<TThreadRegistry> TThreadRegistry::Open() {
    UString name = ProcessObjectName(u"TobriskThreadNameBuf", GetCurrentProcessId());
    // A new block is zero-filled: an empty table with a free lock.
    win32::THandle mapping(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                              sizeof(TThreadTableBlock), win32::Wide(name)));
    if (!mapping) return nullptr;
    win32::TMappedView view(
        MapViewOfFile(mapping.Get(), FILE_MAP_ALL_ACCESS, 0, 0, sizeof(TThreadTableBlock)));
    if (!view) return nullptr;
    return std::unique_ptr<TThreadRegistry>(new TThreadRegistry(std::move(mapping), std::move(view)));
}

}  // namespace qr
