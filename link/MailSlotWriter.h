#pragma once
// The program's only channel to the presentation program: a write-only
// stream in which every write becomes exactly one mailslot message. Opens
// lazily, keeps the handle, and repairs a failed write by reopening once.
// A message that cannot be delivered is dropped without an error.
// Main thread only: it has no lock.
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

private:
    void EnsureOpen();
    void CloseSlot();
    int32_t Attempt(const void* buffer, int32_t count);

    TSlotHandle FHandle = INVALID_SLOT_HANDLE;
    UString FPath;
    std::unique_ptr<IMailSlotPlatform> FPlatform;
};

}  // namespace qr
