#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "link/MailSlotPlatform.h"

namespace qr {
namespace {

class TPosixMailSlot : public IMailSlotPlatform {
public:
    TSlotHandle Open(const UString& path) override {
        const char* dir = std::getenv("XDG_RUNTIME_DIR");
        std::string file = MailSlotSocketPath(path, dir ? dir : "");
        sockaddr_un addr{};
        if (file.empty() || file.size() >= sizeof(addr.sun_path)) return INVALID_SLOT_HANDLE;
        int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (fd < 0) return INVALID_SLOT_HANDLE;
        // Commands can be large; a datagram must fit the send buffer whole.
        int size = kPosixMailSlotBuffer;
        setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
        addr.sun_family = AF_UNIX;
        std::memcpy(addr.sun_path, file.c_str(), file.size() + 1);
        if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
            close(fd);
            return INVALID_SLOT_HANDLE;
        }
        return fd;
    }
    TSlotWrite Write(TSlotHandle handle, const void* buffer, int32_t count, int waitMs,
                     int32_t& written) override {
        // Never blocks: a reader whose queue is full gets `waitMs` to make
        // room, then the datagram is not sent at all.
        written = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
        for (;;) {
            ssize_t n = send(int(handle), buffer, size_t(count), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n >= 0) {
                written = int32_t(n);
                return TSlotWrite::Written;
            }
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) return TSlotWrite::Failed;
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return TSlotWrite::TimedOut;
            // Room for a small datagram may still be too little for this
            // one: then the next send fails again and waits the rest.
            pollfd pfd{int(handle), POLLOUT, 0};
            if (poll(&pfd, 1, int(left.count())) < 0 && errno != EINTR) return TSlotWrite::Failed;
        }
    }
    void Close(TSlotHandle handle) override { close(int(handle)); }
};

}  // namespace

std::unique_ptr<IMailSlotPlatform> CreateMailSlotPlatform() { return std::make_unique<TPosixMailSlot>(); }

}  // namespace qr
