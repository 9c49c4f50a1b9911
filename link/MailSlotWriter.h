#pragma once
// The program's only channel to the presentation program: a write-only
// stream in which every write becomes exactly one mailslot message. Opens
// lazily, keeps the handle, and repairs a failed write by reopening once.
// A message that cannot be delivered is dropped without an error.
// Main thread only: it has no lock.
//
// A reader that stops reading (or dies while the platform keeps its
// mailslot alive for our handle) fills its queue, and a plain write would
// then block the main thread for good. So every write waits at most
// kSlotWriteBound for room; one that did not complete counts as failed.
// The retry on a fresh handle waits once more. When both time out, the
// reader is taken as stalled: later writes do not wait for room at all
// (delivered if the reader has room at once, dropped otherwise) until one
// is delivered again, so a queue of waiting hand-offs drains in moments
// instead of two bounds each. A reader that reads makes room within a
// bound; one that pauses for longer than two with a full queue loses what
// comes meanwhile.
#include <memory>

#include "base/Stream.h"
#include "link/MailSlotPlatform.h"

namespace qr {

class TMailSlotWriter : public TStream {
public:
    explicit TMailSlotWriter(const UString& name);
    TMailSlotWriter(const UString& name, std::unique_ptr<IMailSlotPlatform> platform);
    ~TMailSlotWriter() override;

    const char* ClassName() const override { return "TMailSlotWriter"; }
    int32_t Read(void* buffer, int32_t count) override;
    // Bytes written, or 0 when the message was not delivered.
    int32_t Write(const void* buffer, int32_t count) override;
    // One Write with the string's bytes (zero bytes included); the result
    // is ignored.
    void WriteString(const AnsiString& text);

    const UString& Path() const { return FPath; }
    bool IsOpen() const { return FHandle != INVALID_SLOT_HANDLE; }
    // A write timed out and none has been delivered since.
    bool ReaderStalled() const { return FStalled; }

private:
    void EnsureOpen();
    void CloseSlot();
    // One write on the held (or a freshly opened) handle; -1 when it did not
    // deliver, with `timedOut` set when the reader made no room in time.
    int32_t Attempt(const void* buffer, int32_t count, bool& timedOut);

    TSlotHandle FHandle = INVALID_SLOT_HANDLE;
    UString FPath;
    std::unique_ptr<IMailSlotPlatform> FPlatform;
    bool FStalled = false;
};

// How long one write waits for a reader with a full queue. A reader that
// is only busy (drawing a slide) frees room well within it; one that has
// not read for this long is not coming back soon. It is also the longest
// the main thread goes unanswered (tray menu, teardown) because of a
// stalled reader, so it stays at a fraction of a second.
constexpr int kSlotWriteBoundMs = 300;

}  // namespace qr
