#include <windows.h>

#include "link/MailSlotPlatform.h"

namespace qr {
namespace {

class TWin32MailSlot : public IMailSlotPlatform {
public:
    TSlotHandle Open(const UString& path) override {
        HANDLE h = CreateFileW(reinterpret_cast<LPCWSTR>(path.c_str()), GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        return reinterpret_cast<TSlotHandle>(h);
    }
    bool Write(TSlotHandle handle, const void* buffer, int32_t count, int32_t& written) override {
        DWORD n = 0;
        BOOL ok = WriteFile(reinterpret_cast<HANDLE>(handle), buffer, DWORD(count), &n, nullptr);
        written = int32_t(n);
        return ok != FALSE;
    }
    void Close(TSlotHandle handle) override { CloseHandle(reinterpret_cast<HANDLE>(handle)); }
};

}  // namespace

std::unique_ptr<IMailSlotPlatform> CreateMailSlotPlatform() { return std::make_unique<TWin32MailSlot>(); }

}  // namespace qr
