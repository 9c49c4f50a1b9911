#include <windows.h>

#include <algorithm>

#include "base/Exception.h"
#include "tools/MailSlotReader.h"

namespace qr {
namespace {

class TWin32Reader : public TMailSlotReader {
public:
    explicit TWin32Reader(HANDLE h) : FHandle(h) {}
    ~TWin32Reader() override { CloseHandle(FHandle); }

    std::optional<std::string> Receive(int timeoutMs) override {
        DWORD next = 0, count = 0;
        for (int waited = 0;; waited += kPollMs) {
            if (!GetMailslotInfo(FHandle, nullptr, &next, &count, nullptr))
                throw Exception("GetMailslotInfo failed: " + std::to_string(GetLastError()));
            if (next != MAILSLOT_NO_MESSAGE) break;
            if (waited >= timeoutMs) return std::nullopt;
            Sleep(kPollMs);
        }
        // Read with room for any message: Wine reports at most 64 KiB as the
        // next size but hands over the whole message to a large enough read.
        std::string buffer(std::max<size_t>(next, kMaxMessage), '\0');
        DWORD read = 0;
        if (!ReadFile(FHandle, buffer.data(), DWORD(buffer.size()), &read, nullptr)) {
            // Wine takes an empty message off the queue but reports the read
            // as a broken pipe.
            if (next == 0 && GetLastError() == ERROR_BROKEN_PIPE) return std::string();
            throw Exception("ReadFile failed: " + std::to_string(GetLastError()));
        }
        buffer.resize(read);
        return buffer;
    }

private:
    static constexpr int kPollMs = 5;
    static constexpr size_t kMaxMessage = 4 << 20;
    HANDLE FHandle;
};

}  // namespace

std::unique_ptr<TMailSlotReader> CreateMailSlotReader(const UString& name) {
    UString path = u"\\\\.\\mailslot\\" + name;
    HANDLE h = CreateMailslotW(reinterpret_cast<LPCWSTR>(path.c_str()), 0, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        throw Exception("cannot create " + UnicodeToUtf8(path) + " (error " + std::to_string(GetLastError()) +
                        ")");
    return std::make_unique<TWin32Reader>(h);
}

}  // namespace qr
