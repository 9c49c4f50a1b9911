#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "link/MailSlotPlatform.h"

namespace qr {
namespace {

constexpr int kWriteGraceMs = 2000;

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
    bool Write(TSlotHandle handle, const void* buffer, int32_t count, int32_t& written) override {
        // A reader that is slow to drain gets a bounded grace period; one
        // that has stopped reading must never hang the main thread.
        ssize_t n = send(int(handle), buffer, size_t(count), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd pfd{int(handle), POLLOUT, 0};
            if (poll(&pfd, 1, kWriteGraceMs) == 1)
                n = send(int(handle), buffer, size_t(count), MSG_NOSIGNAL | MSG_DONTWAIT);
        }
        written = n < 0 ? 0 : int32_t(n);
        return n >= 0;
    }
    void Close(TSlotHandle handle) override { close(int(handle)); }
};

}  // namespace

std::unique_ptr<IMailSlotPlatform> CreateMailSlotPlatform() { return std::make_unique<TPosixMailSlot>(); }

}  // namespace qr
