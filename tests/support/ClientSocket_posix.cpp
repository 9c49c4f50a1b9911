#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

#include "tests/support/ClientSocket.h"

namespace qr::test {

const bool kResetAlwaysReported = true;

TClientSocket ClientConnect(bool ipv6, uint16_t port) {
    sockaddr_storage a;
    std::memset(&a, 0, sizeof a);
    socklen_t len;
    if (ipv6) {
        auto* a6 = reinterpret_cast<sockaddr_in6*>(&a);
        a6->sin6_family = AF_INET6;
        a6->sin6_port = htons(port);
        a6->sin6_addr = in6addr_loopback;
        len = sizeof(sockaddr_in6);
    } else {
        auto* a4 = reinterpret_cast<sockaddr_in*>(&a);
        a4->sin_family = AF_INET;
        a4->sin_port = htons(port);
        a4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        len = sizeof(sockaddr_in);
    }
    int s = ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) throw std::runtime_error("socket failed");
    if (::connect(s, reinterpret_cast<sockaddr*>(&a), len) != 0) {
        ::close(s);
        throw std::runtime_error("connect failed");
    }
    return s;
}

int ClientSend(TClientSocket socket, const char* bytes, size_t count) {
    return int(::send(int(socket), bytes, count, MSG_NOSIGNAL));
}

void ClientShutdownSend(TClientSocket socket) { ::shutdown(int(socket), SHUT_WR); }

void ClientClose(TClientSocket socket) { ::close(int(socket)); }

void ClientLingerZero(TClientSocket socket) {
    linger l{1, 0};
    ::setsockopt(int(socket), SOL_SOCKET, SO_LINGER, &l, sizeof l);
}

bool ClientReadable(TClientSocket socket, int timeoutMs) {
    pollfd p{int(socket), POLLIN, 0};
    return ::poll(&p, 1, timeoutMs) > 0;
}

int ClientReceiveOne(TClientSocket socket) {
    char c;
    return int(::recv(int(socket), &c, 1, 0));
}

}  // namespace qr::test
