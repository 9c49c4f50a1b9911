#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "base/Exception.h"
#include "link/MailSlotPlatform.h"
#include "tools/MailSlotReader.h"

namespace qr {
namespace {

class TPosixReader : public TMailSlotReader {
public:
    TPosixReader(int fd, std::string path) : FFd(fd), FPath(std::move(path)) {}
    ~TPosixReader() override {
        close(FFd);
        unlink(FPath.c_str());
    }

    std::optional<std::string> Receive(int timeoutMs) override {
        pollfd pfd{FFd, POLLIN, 0};
        int r = poll(&pfd, 1, timeoutMs);
        if (r == 0) return std::nullopt;
        if (r < 0) {
            if (errno == EINTR) return std::nullopt;
            throw Exception(std::string("poll failed: ") + std::strerror(errno));
        }
        std::string buffer(size_t(kPosixMailSlotBuffer), '\0');
        ssize_t n = recv(FFd, buffer.data(), buffer.size(), 0);
        if (n < 0) throw Exception(std::string("recv failed: ") + std::strerror(errno));
        buffer.resize(size_t(n));
        return buffer;
    }

private:
    int FFd;
    std::string FPath;
};

}  // namespace

std::unique_ptr<TMailSlotReader> CreateMailSlotReader(const UString& name) {
    const char* dir = std::getenv("XDG_RUNTIME_DIR");
    std::string path = MailSlotSocketPath(u"\\\\.\\mailslot\\" + name, dir ? dir : "");
    sockaddr_un addr{};
    if (path.empty() || path.size() >= sizeof(addr.sun_path))
        throw Exception("unusable mailslot name " + UnicodeToUtf8(name));
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw Exception(std::string("socket failed: ") + std::strerror(errno));
    int size = kPosixMailSlotBuffer;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    // A socket file left by a reader that died is no live mailslot: a
    // connect to it fails, and then it may be replaced.
    int probe = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    bool live = probe >= 0 && connect(probe, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    if (probe >= 0) close(probe);
    if (live) {
        close(fd);
        throw Exception("the mailslot " + path + " exists already");
    }
    unlink(path.c_str());
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        int e = errno;
        close(fd);
        throw Exception("cannot bind " + path + ": " + std::strerror(e));
    }
    return std::make_unique<TPosixReader>(fd, path);
}

}  // namespace qr
