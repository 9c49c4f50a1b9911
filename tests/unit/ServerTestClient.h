#pragma once
// A plain blocking TCP client for the server tests: connect, send, close,
// reset, and see the server close. Platform seam: BSD sockets, or Winsock
// loaded at run time (the test programs do not link ws2_32).
#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace qr::test {

#ifdef _WIN32
using TClientSocket = SOCKET;
const TClientSocket kNoSocket = INVALID_SOCKET;

struct TClientWinsock {
    HMODULE Module = nullptr;
    SOCKET(WSAAPI* Socket)(int, int, int) = nullptr;
    int(WSAAPI* Connect)(SOCKET, const sockaddr*, int) = nullptr;
    int(WSAAPI* Send)(SOCKET, const char*, int, int) = nullptr;
    int(WSAAPI* Recv)(SOCKET, char*, int, int) = nullptr;
    int(WSAAPI* Shutdown)(SOCKET, int) = nullptr;
    int(WSAAPI* Close)(SOCKET) = nullptr;
    int(WSAAPI* SetSockOpt)(SOCKET, int, int, const char*, int) = nullptr;
    int(WSAAPI* Select)(int, fd_set*, fd_set*, fd_set*, const timeval*) = nullptr;

    static TClientWinsock& Get() {
        static TClientWinsock w;
        return w;
    }

private:
    template <class F>
    void Load(F& f, const char* name) {
        f = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(Module, name)));
    }
    TClientWinsock() {
        Module = LoadLibraryW(L"ws2_32.dll");
        if (!Module) throw std::runtime_error("ws2_32.dll not loaded");
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
};
#else
using TClientSocket = int;
const TClientSocket kNoSocket = -1;
#endif

#ifdef _WIN32
// Wine reports a reset that arrives while the server waits for input as an
// orderly end of the stream; Windows and BSD sockets report 10054.
constexpr bool kResetAlwaysReported = false;
#else
constexpr bool kResetAlwaysReported = true;
#endif

class TTestClient {
public:
    // host: "127.0.0.1" or "::1".
    TTestClient(const std::string& host, uint16_t port) {
        bool v6 = host.find(':') != std::string::npos;
        sockaddr_storage a;
        std::memset(&a, 0, sizeof a);
        int len;
        if (v6) {
            auto* a6 = reinterpret_cast<sockaddr_in6*>(&a);
            a6->sin6_family = AF_INET6;
            a6->sin6_port = uint16_t((port >> 8) | (port << 8));
            reinterpret_cast<uint8_t*>(&a6->sin6_addr)[15] = 1;  // ::1
            len = sizeof(sockaddr_in6);
        } else {
            auto* a4 = reinterpret_cast<sockaddr_in*>(&a);
            a4->sin_family = AF_INET;
            a4->sin_port = uint16_t((port >> 8) | (port << 8));
            const uint8_t loopback[4] = {127, 0, 0, 1};
            std::memcpy(&a4->sin_addr, loopback, 4);
            len = sizeof(sockaddr_in);
        }
#ifdef _WIN32
        auto& w = TClientWinsock::Get();
        FSocket = w.Socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM, 0);
        if (FSocket == kNoSocket) throw std::runtime_error("socket failed");
        if (w.Connect(FSocket, reinterpret_cast<sockaddr*>(&a), len) != 0) {
            Close();
            throw std::runtime_error("connect failed");
        }
#else
        FSocket = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (FSocket == kNoSocket) throw std::runtime_error("socket failed");
        if (::connect(FSocket, reinterpret_cast<sockaddr*>(&a), socklen_t(len)) != 0) {
            Close();
            throw std::runtime_error("connect failed");
        }
#endif
    }
    ~TTestClient() { Close(); }
    TTestClient(const TTestClient&) = delete;
    TTestClient& operator=(const TTestClient&) = delete;

    // Sends everything; false once the connection refuses (the server may
    // already have closed it).
    bool Send(std::string_view bytes) {
        while (!bytes.empty()) {
#ifdef _WIN32
            int n = TClientWinsock::Get().Send(FSocket, bytes.data(), int(bytes.size()), 0);
#else
            int n = int(::send(FSocket, bytes.data(), bytes.size(), MSG_NOSIGNAL));
#endif
            if (n <= 0) return false;
            bytes.remove_prefix(size_t(n));
        }
        return true;
    }

    void ShutdownSend() {
#ifdef _WIN32
        TClientWinsock::Get().Shutdown(FSocket, SD_SEND);
#else
        ::shutdown(FSocket, SHUT_WR);
#endif
    }

    void Close() {
        if (FSocket == kNoSocket) return;
#ifdef _WIN32
        TClientWinsock::Get().Close(FSocket);
#else
        ::close(FSocket);
#endif
        FSocket = kNoSocket;
    }

    // Closes with a reset instead of the orderly end.
    void Reset() {
        struct linger l;
        l.l_onoff = 1;
        l.l_linger = 0;
#ifdef _WIN32
        TClientWinsock::Get().SetSockOpt(FSocket, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l),
                                         sizeof l);
#else
        ::setsockopt(FSocket, SOL_SOCKET, SO_LINGER, &l, sizeof l);
#endif
        Close();
    }

    // True when the server ends the connection (end of stream or reset)
    // within `timeout`. The server never sends data, so any received byte
    // is a fault and counts as not closed.
    bool WaitClosed(std::chrono::milliseconds timeout) {
        if (!Readable(int(timeout.count()))) return false;
        char c;
#ifdef _WIN32
        int n = TClientWinsock::Get().Recv(FSocket, &c, 1, 0);
#else
        int n = int(::recv(FSocket, &c, 1, 0));
#endif
        return n <= 0;
    }

private:
    bool Readable(int timeoutMs) {
#ifdef _WIN32
        fd_set set;
        set.fd_count = 1;
        set.fd_array[0] = FSocket;
        timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
        return TClientWinsock::Get().Select(0, &set, nullptr, nullptr, &tv) > 0;
#else
        pollfd p{FSocket, POLLIN, 0};
        return ::poll(&p, 1, timeoutMs) > 0;
#endif
    }

    TClientSocket FSocket = kNoSocket;
};

}  // namespace qr::test
