#pragma once
// The three operations the mailslot writer needs from the platform. On
// Windows they are CreateFileW / WriteFile / CloseHandle on the mailslot's
// client end; on POSIX a Unix datagram socket stands in for the mailslot.
#include <cstdint>
#include <memory>

#include "base/Text.h"

namespace qr {

using TSlotHandle = intptr_t;
constexpr TSlotHandle INVALID_SLOT_HANDLE = -1;  // INVALID_HANDLE_VALUE

enum class TSlotWrite {
    Written,   // the whole message is queued for the reader
    Failed,    // refused at once
    TimedOut,  // the reader made no room within the wait; cancelled, nothing of it arrives
};

class IMailSlotPlatform {
public:
    virtual ~IMailSlotPlatform() = default;
    // INVALID_SLOT_HANDLE when the mailslot does not exist or cannot be opened.
    virtual TSlotHandle Open(const UString& path) = 0;
    // One message. A reader whose queue is full makes the write wait for
    // room, at most `waitMs` (0: not at all). `written` receives the bytes
    // written.
    virtual TSlotWrite Write(TSlotHandle handle, const void* buffer, int32_t count, int waitMs,
                             int32_t& written) = 0;
    virtual void Close(TSlotHandle handle) = 0;
};

// The platform's real mailslot operations.
std::unique_ptr<IMailSlotPlatform> CreateMailSlotPlatform();

// Where a mailslot lives on POSIX: "\\.\mailslot\A\B" becomes the datagram
// socket "<dir>/quellora-mailslots/A/B", <dir> being $XDG_RUNTIME_DIR or /tmp.
// Empty when the path is no local mailslot path.
std::string MailSlotSocketPath(const UString& mailslotPath, const std::string& runtimeDir);

// Largest message the POSIX transport is set up to carry in one datagram.
constexpr int kPosixMailSlotBuffer = 4 * 1024 * 1024;

}  // namespace qr
