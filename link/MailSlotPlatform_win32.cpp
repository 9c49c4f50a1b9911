#include <windows.h>

#include "base/win32/Handles.h"
#include "link/MailSlotPlatform.h"

namespace qr {
namespace {

class TWin32MailSlot : public IMailSlotPlatform {
public:
    TSlotHandle Open(const UString& path) override {
        // Overlapped, so that a write to a reader with a full queue can be
        // given up instead of blocking the calling thread.
        HANDLE h = CreateFileW(reinterpret_cast<LPCWSTR>(path.c_str()), GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
        return reinterpret_cast<TSlotHandle>(h);
    }
    TSlotWrite Write(TSlotHandle handle, const void* buffer, int32_t count, int waitMs,
                     int32_t& written) override {
        written = 0;
        HANDLE h = reinterpret_cast<HANDLE>(handle);
        // One event for every write: creating and closing one per write
        // were two of the few system calls a message costs. WriteFile resets
        // it, and no write is still going on when the next begins (each
        // ends here, completed or cancelled).
        if (!FWriteDone) FWriteDone.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (!FWriteDone) return TSlotWrite::Failed;
        OVERLAPPED ov{};
        ov.hEvent = FWriteDone.Get();
        DWORD n = 0;
        TSlotWrite result = TSlotWrite::Failed;
        if (WriteFile(h, buffer, DWORD(count), nullptr, &ov)) {
            if (GetOverlappedResult(h, &ov, &n, FALSE)) result = TSlotWrite::Written;
        } else if (GetLastError() == ERROR_IO_PENDING) {
            bool late = WaitForSingleObject(ov.hEvent, DWORD(waitMs)) != WAIT_OBJECT_0;
            if (late) CancelIoEx(h, &ov);
            // After the cancel the write ends at once, either cancelled or
            // (had it just completed) written; `ov` must outlive it.
            if (GetOverlappedResult(h, &ov, &n, TRUE))
                result = TSlotWrite::Written;
            else if (late)
                result = TSlotWrite::TimedOut;
        }
        if (result == TSlotWrite::Written) written = int32_t(n);
        return result;
    }
    void Close(TSlotHandle handle) override { CloseHandle(reinterpret_cast<HANDLE>(handle)); }

private:
    win32::THandle FWriteDone;
};

}  // namespace

std::unique_ptr<IMailSlotPlatform> CreateMailSlotPlatform() { return std::make_unique<TWin32MailSlot>(); }

}  // namespace qr
