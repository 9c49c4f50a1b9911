#pragma once
// The socket stack: the few socket operations the server needs, behind one
// interface with a Winsock implementation (loaded at run time) and a BSD
// sockets one. Failing calls raise EIdSocketError with a Winsock error code
// on every platform, so texts and tests agree.
#include <cstdint>
#include <memory>
#include <string>

#include "server/IdExceptions.h"

namespace qr {

using TIdStackSocketHandle = std::intptr_t;
constexpr TIdStackSocketHandle Id_INVALID_SOCKET = -1;

enum class TIdIPVersion { Id_IPv4, Id_IPv6 };

enum class TIdShutdown { Send, Receive, Both };

struct TIdAcceptResult {
    TIdStackSocketHandle Handle = Id_INVALID_SOCKET;  // invalid when the accept failed
    std::string PeerIP;
    uint16_t PeerPort = 0;
};

class TIdStack {
public:
    virtual ~TIdStack() = default;

    // socket(family, SOCK_STREAM, 0).
    virtual TIdStackSocketHandle NewSocketHandle(TIdIPVersion version) = 0;
    virtual void SetReuseAddress(TIdStackSocketHandle socket) = 0;
    // Whether rsOSDependent asks for address reuse on this platform.
    virtual bool ReuseAddressByDefault() const = 0;
    // Whether closing a socket wakes a thread that waits on it. Winsock
    // (and Wine's, where shutting down the receiving side does not) does;
    // on POSIX the descriptor must stay open until the waiter has left.
    virtual bool CloseWakesWaiters() const = 0;
    // Binds to the any-address of the family; returns false when bind fails.
    virtual bool Bind(TIdStackSocketHandle socket, TIdIPVersion version, uint16_t port) = 0;
    virtual void Listen(TIdStackSocketHandle socket, int backlog) = 0;
    // Waits until the socket is readable; timeoutMs < 0 waits without limit.
    virtual bool Readable(TIdStackSocketHandle socket, int timeoutMs) = 0;
    // A failed accept is no error: the result's handle is then invalid.
    virtual TIdAcceptResult Accept(TIdStackSocketHandle socket, TIdIPVersion version) = 0;
    // recv with flags 0: the byte count, 0 when the peer closed its side.
    virtual int Receive(TIdStackSocketHandle socket, void* buffer, int length) = 0;
    // Errors are ignored: closing must always go through.
    virtual void Shutdown(TIdStackSocketHandle socket, TIdShutdown how) = 0;
    virtual void CloseSocket(TIdStackSocketHandle socket) = 0;
    virtual bool SupportsIPv6() = 0;
};

// The process's stack. Every user holds a reference; the stack is created
// by the first user and freed with the last. Creating it starts the
// platform's socket library (raises EIdStackInitializationFailed).
std::shared_ptr<TIdStack> AcquireStack();

// The platform's stack, defined by the platform file that is built.
std::shared_ptr<TIdStack> CreatePlatformStack();

// Address texts for peers.
std::string FormatIPv4(const uint8_t (&address)[4]);
std::string FormatIPv6(const uint8_t (&address)[16]);

}  // namespace qr
