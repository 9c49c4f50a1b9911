#pragma once
// TIdSocketHandle: one socket and its endpoint. Any thread may close it
// while another waits on it: the handle is marked not allocated first, so a
// reader sees the connection as closed, and the handle itself is released
// only when no call is using it any more, so that its number cannot be
// reused by a new connection under a call still in progress.
#include <memory>
#include <mutex>
#include <string>

#include "server/IdStack.h"

namespace qr {

class TIdSocketHandle {
public:
    explicit TIdSocketHandle(std::shared_ptr<TIdStack> stack);
    ~TIdSocketHandle();
    TIdSocketHandle(const TIdSocketHandle&) = delete;
    TIdSocketHandle& operator=(const TIdSocketHandle&) = delete;

    // Local endpoint (an empty IP is the any-address) and peer endpoint.
    std::string IP;
    uint16_t Port = 0;
    TIdIPVersion IPVersion = TIdIPVersion::Id_IPv4;
    std::string PeerIP;
    uint16_t PeerPort = 0;

    TIdStack& Stack() { return *FStack; }
    const std::shared_ptr<TIdStack>& StackRef() const { return FStack; }

    void AllocateSocket();
    // Takes over an accepted socket.
    void Attach(const TIdAcceptResult& accepted);
    bool HandleAllocated() const;

    void SetReuseAddress();
    // Any-address of the family, this handle's port; raises EIdCouldNotBindSocket.
    void Bind();
    void Listen(int backlog);

    // False when the socket is not readable within the time or is closed.
    bool Select(int timeoutMs);
    TIdAcceptResult Accept();
    // One recv; raises EIdConnClosedGracefully when the socket is closed.
    int Receive(void* buffer, int length);

    // Shutdown of the sending direction, then closesocket; from any thread.
    void CloseSocket();

private:
    class TUse;
    bool BeginUse(TIdStackSocketHandle& handle);
    void EndUse();

    std::shared_ptr<TIdStack> FStack;
    mutable std::mutex FLock;
    TIdStackSocketHandle FHandle = Id_INVALID_SOCKET;
    bool FAllocated = false;
    int FUsers = 0;
    bool FClosePending = false;
};

}  // namespace qr
