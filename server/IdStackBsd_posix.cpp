// The socket stack over BSD sockets. It behaves like the Winsock one where
// the server can tell: IPv6 sockets accept IPv6 only (so that the IPv4 and
// IPv6 any-address bindings can share a port, as on Windows), and errors
// carry Winsock codes.
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "server/IdStack.h"

namespace qr {

namespace {

// errno values and the Winsock codes that name the same failure.
const struct {
    int Errno;
    int Code;
} kWinsockCodes[] = {
    {EINTR, wsa::kEINTR},
    {EBADF, wsa::kEBADF},
    {EACCES, wsa::kEACCES},
    {EFAULT, wsa::kEFAULT},
    {EINVAL, wsa::kEINVAL},
    {EMFILE, wsa::kEMFILE},
    {ENFILE, wsa::kEMFILE},
    {EAGAIN, wsa::kEWOULDBLOCK},
    {EINPROGRESS, wsa::kEINPROGRESS},
    {EALREADY, wsa::kEALREADY},
    {ENOTSOCK, wsa::kENOTSOCK},
    {EMSGSIZE, wsa::kEMSGSIZE},
    {ENOPROTOOPT, wsa::kENOPROTOOPT},
    {EPROTONOSUPPORT, wsa::kEPROTONOSUPPORT},
    {EOPNOTSUPP, wsa::kEOPNOTSUPP},
    {EAFNOSUPPORT, wsa::kEAFNOSUPPORT},
    {EADDRINUSE, wsa::kEADDRINUSE},
    {EADDRNOTAVAIL, wsa::kEADDRNOTAVAIL},
    {ENETDOWN, wsa::kENETDOWN},
    {ENETUNREACH, wsa::kENETUNREACH},
    {ENETRESET, wsa::kENETRESET},
    {ECONNABORTED, wsa::kECONNABORTED},
    {ECONNRESET, wsa::kECONNRESET},
    {EPIPE, wsa::kECONNRESET},
    {ENOBUFS, wsa::kENOBUFS},
    {ENOMEM, wsa::kENOBUFS},
    {EISCONN, wsa::kEISCONN},
    {ENOTCONN, wsa::kENOTCONN},
    {ESHUTDOWN, wsa::kESHUTDOWN},
    {ETIMEDOUT, wsa::kETIMEDOUT},
    {ECONNREFUSED, wsa::kECONNREFUSED},
    {EHOSTDOWN, wsa::kEHOSTDOWN},
    {EHOSTUNREACH, wsa::kEHOSTUNREACH},
};

int WinsockCode(int err) {
    for (const auto& m : kWinsockCodes)
        if (m.Errno == err) return m.Code;
    return err;
}

[[noreturn]] void RaiseLastError() { throw EIdSocketError(WinsockCode(errno)); }

int Fd(TIdStackSocketHandle s) { return int(s); }

class TIdStackBsd final : public TIdStack {
public:
    TIdStackSocketHandle NewSocketHandle(TIdIPVersion version) override {
        int family = version == TIdIPVersion::Id_IPv6 ? AF_INET6 : AF_INET;
        int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) RaiseLastError();
        if (family == AF_INET6) {
            int one = 1;
            ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one);
        }
        return fd;
    }

    void SetReuseAddress(TIdStackSocketHandle s) override {
        int one = 1;
        if (::setsockopt(Fd(s), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0) RaiseLastError();
    }

    // Here address reuse only lifts the wait for old connections in
    // TIME_WAIT; a port that another socket listens on stays refused.
    bool ReuseAddressByDefault() const override { return true; }
    bool CloseWakesWaiters() const override { return false; }

    bool Bind(TIdStackSocketHandle s, TIdIPVersion version, uint16_t port) override {
        if (version == TIdIPVersion::Id_IPv6) {
            sockaddr_in6 a{};
            a.sin6_family = AF_INET6;
            a.sin6_port = htons(port);
            return ::bind(Fd(s), reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        }
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        return ::bind(Fd(s), reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }

    void Listen(TIdStackSocketHandle s, int backlog) override {
        if (::listen(Fd(s), backlog) != 0) RaiseLastError();
        // A client that resets between the readiness wait and accept must
        // not leave accept blocked: the listener has to see its stop request.
        int flags = ::fcntl(Fd(s), F_GETFL);
        if (flags < 0 || ::fcntl(Fd(s), F_SETFL, flags | O_NONBLOCK) != 0) RaiseLastError();
    }

    // poll rather than select: select cannot take descriptors past
    // FD_SETSIZE, which a server with many clients reaches.
    bool Readable(TIdStackSocketHandle s, int timeoutMs) override {
        pollfd p{Fd(s), POLLIN, 0};
        for (;;) {
            int n = ::poll(&p, 1, timeoutMs < 0 ? -1 : timeoutMs);
            if (n > 0) return true;
            if (n == 0) return false;
            if (errno != EINTR) RaiseLastError();
        }
    }

    TIdAcceptResult Accept(TIdStackSocketHandle s, TIdIPVersion) override {
        sockaddr_storage a{};
        socklen_t len = sizeof a;
        TIdAcceptResult r;
        int fd = ::accept4(Fd(s), reinterpret_cast<sockaddr*>(&a), &len, SOCK_CLOEXEC);
        if (fd < 0) return r;
        r.Handle = fd;
        if (a.ss_family == AF_INET6) {
            auto* a6 = reinterpret_cast<sockaddr_in6*>(&a);
            uint8_t bytes[16];
            std::memcpy(bytes, &a6->sin6_addr, 16);
            r.PeerIP = FormatIPv6(bytes);
            r.PeerPort = ntohs(a6->sin6_port);
        } else {
            auto* a4 = reinterpret_cast<sockaddr_in*>(&a);
            uint8_t bytes[4];
            std::memcpy(bytes, &a4->sin_addr, 4);
            r.PeerIP = FormatIPv4(bytes);
            r.PeerPort = ntohs(a4->sin_port);
        }
        return r;
    }

    int Receive(TIdStackSocketHandle s, void* buffer, int length) override {
        for (;;) {
            ssize_t n = ::recv(Fd(s), buffer, size_t(length), 0);
            if (n >= 0) return int(n);
            if (errno != EINTR) RaiseLastError();
        }
    }

    void Shutdown(TIdStackSocketHandle s, TIdShutdown how) override {
        int h = how == TIdShutdown::Send ? SHUT_WR : how == TIdShutdown::Receive ? SHUT_RD : SHUT_RDWR;
        ::shutdown(Fd(s), h);
    }

    void CloseSocket(TIdStackSocketHandle s) override { ::close(Fd(s)); }

    bool SupportsIPv6() override {
        int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) return false;
        ::close(fd);
        return true;
    }
};

}  // namespace

std::shared_ptr<TIdStack> CreatePlatformStack() { return std::make_shared<TIdStackBsd>(); }

}  // namespace qr
