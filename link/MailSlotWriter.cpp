#include "link/MailSlotWriter.h"

namespace qr {

TMailSlotWriter::TMailSlotWriter(const UString& name) : TMailSlotWriter(name, CreateMailSlotPlatform()) {}

TMailSlotWriter::TMailSlotWriter(const UString& name, std::unique_ptr<IMailSlotPlatform> platform)
    : FPath(u"\\\\.\\mailslot\\" + name), FPlatform(std::move(platform)) {}

TMailSlotWriter::~TMailSlotWriter() { CloseSlot(); }

int32_t TMailSlotWriter::Read(void*, int32_t) {
    throw EStreamError("Stream read error: " + UnicodeToUtf8(FPath));
}

void TMailSlotWriter::EnsureOpen() {
    if (FHandle == INVALID_SLOT_HANDLE) FHandle = FPlatform->Open(FPath);
}

void TMailSlotWriter::CloseSlot() {
    if (FHandle != INVALID_SLOT_HANDLE) FPlatform->Close(FHandle);
    FHandle = INVALID_SLOT_HANDLE;
}

int32_t TMailSlotWriter::Attempt(const void* buffer, int32_t count, bool& timedOut) {
    EnsureOpen();
    if (FHandle == INVALID_SLOT_HANDLE) return -1;
    int32_t written = 0;
    switch (FPlatform->Write(FHandle, buffer, count, FStalled ? 0 : kSlotWriteBoundMs, written)) {
        case TSlotWrite::Written:
            FStalled = false;
            return written;
        case TSlotWrite::TimedOut:
            timedOut = true;
            return -1;
        case TSlotWrite::Failed:
            break;
    }
    return -1;
}

int32_t TMailSlotWriter::Write(const void* buffer, int32_t count) {
    bool firstTimedOut = false, retryTimedOut = false;
    int32_t n = Attempt(buffer, count, firstTimedOut);
    if (n < 0) {
        // The reader may have gone and come back: a fresh handle reaches it.
        CloseSlot();
        n = Attempt(buffer, count, retryTimedOut);
        // Holding no handle lets a reader that restarts create its mailslot
        // again (Wine keeps a mailslot alive while a writer holds a handle).
        if (n < 0) CloseSlot();
    }
    // Stalled only when the reader made no room through two whole bounds: a
    // reader that only paused under load gets both before anything is
    // dropped without waiting.
    if (firstTimedOut && retryTimedOut) FStalled = true;
    return n < 0 ? 0 : n;
}

void TMailSlotWriter::WriteString(const AnsiString& text) { Write(text.data(), int32_t(text.size())); }

}  // namespace qr
