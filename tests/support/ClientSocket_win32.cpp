#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cstring>
#include <stdexcept>

#include "tests/support/ClientSocket.h"

namespace qr::test {

const bool kResetAlwaysReported = false;

namespace {

struct TClientWinsock {
    SOCKET(WSAAPI* Socket)(int, int, int) = nullptr;
    int(WSAAPI* Connect)(SOCKET, const sockaddr*, int) = nullptr;
    int(WSAAPI* Send)(SOCKET, const char*, int, int) = nullptr;
    int(WSAAPI* Recv)(SOCKET, char*, int, int) = nullptr;
    int(WSAAPI* Shutdown)(SOCKET, int) = nullptr;
    int(WSAAPI* Close)(SOCKET) = nullptr;
    int(WSAAPI* SetSockOpt)(SOCKET, int, int, const char*, int) = nullptr;
    int(WSAAPI* Select)(int, fd_set*, fd_set*, fd_set*, const timeval*) = nullptr;

    // Loaded once for the test program and kept until it ends.
    static TClientWinsock& Get() {
        static TClientWinsock w;
        return w;
    }

private:
    template <class F>
    void Load(F& f, const char* name) {
        f = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(FModule, name)));
        if (!f) throw std::runtime_error(std::string("ws2_32.dll has no ") + name);
    }
    TClientWinsock() {
        FModule = LoadLibraryW(L"ws2_32.dll");
        if (!FModule) throw std::runtime_error("ws2_32.dll not loaded");
        int(WSAAPI * startup)(WORD, LPWSADATA) = nullptr;
        Load(startup, "WSAStartup");
        WSADATA data;
        startup(0x0202, &data);
        Load(Socket, "socket");
        Load(Connect, "connect");
        Load(Send, "send");
        Load(Recv, "recv");
        Load(Shutdown, "shutdown");
        Load(Close, "closesocket");
        Load(SetSockOpt, "setsockopt");
        Load(Select, "select");
    }
    HMODULE FModule = nullptr;
};

SOCKET S(TClientSocket socket) { return SOCKET(socket); }

}  // namespace

TClientSocket ClientConnect(bool ipv6, uint16_t port) {
    sockaddr_storage a;
    std::memset(&a, 0, sizeof a);
    int len;
    const uint16_t networkPort = uint16_t((port >> 8) | (port << 8));
    if (ipv6) {
        auto* a6 = reinterpret_cast<sockaddr_in6*>(&a);
        a6->sin6_family = AF_INET6;
        a6->sin6_port = networkPort;
        reinterpret_cast<uint8_t*>(&a6->sin6_addr)[15] = 1;  // ::1
        len = sizeof(sockaddr_in6);
    } else {
        auto* a4 = reinterpret_cast<sockaddr_in*>(&a);
        a4->sin_family = AF_INET;
        a4->sin_port = networkPort;
        const uint8_t loopback[4] = {127, 0, 0, 1};
        std::memcpy(&a4->sin_addr, loopback, 4);
        len = sizeof(sockaddr_in);
    }
    auto& w = TClientWinsock::Get();
    SOCKET s = w.Socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM, 0);
    if (s == INVALID_SOCKET) throw std::runtime_error("socket failed");
    if (w.Connect(s, reinterpret_cast<sockaddr*>(&a), len) != 0) {
        w.Close(s);
        throw std::runtime_error("connect failed");
    }
    return TClientSocket(s);
}

int ClientSend(TClientSocket socket, const char* bytes, size_t count) {
    return TClientWinsock::Get().Send(S(socket), bytes, int(count), 0);
}

void ClientShutdownSend(TClientSocket socket) { TClientWinsock::Get().Shutdown(S(socket), SD_SEND); }

void ClientClose(TClientSocket socket) { TClientWinsock::Get().Close(S(socket)); }

void ClientLingerZero(TClientSocket socket) {
    linger l{1, 0};
    TClientWinsock::Get().SetSockOpt(S(socket), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l),
                                     sizeof l);
}

bool ClientReadable(TClientSocket socket, int timeoutMs) {
    fd_set set;
    set.fd_count = 1;
    set.fd_array[0] = S(socket);
    timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    return TClientWinsock::Get().Select(0, &set, nullptr, nullptr, &tv) > 0;
}

int ClientReceiveOne(TClientSocket socket) {
    char c;
    return TClientWinsock::Get().Recv(S(socket), &c, 1, 0);
}

}  // namespace qr::test
