#include "server/IdSocketHandle.h"

namespace qr {

// Marks a call in progress on the handle for as long as it lives.
class TIdSocketHandle::TUse {
public:
    explicit TUse(TIdSocketHandle& owner) : FOwner(owner), FActive(owner.BeginUse(FHandle)) {}
    ~TUse() {
        if (FActive) FOwner.EndUse();
    }
    TUse(const TUse&) = delete;
    TUse& operator=(const TUse&) = delete;
    bool Active() const { return FActive; }
    TIdStackSocketHandle Handle() const { return FHandle; }

private:
    TIdSocketHandle& FOwner;
    TIdStackSocketHandle FHandle = Id_INVALID_SOCKET;
    bool FActive;
};

TIdSocketHandle::TIdSocketHandle(std::shared_ptr<TIdStack> stack) : FStack(std::move(stack)) {}

TIdSocketHandle::~TIdSocketHandle() { CloseSocket(); }

void TIdSocketHandle::AllocateSocket() {
    TIdStackSocketHandle h = FStack->NewSocketHandle(IPVersion);
    std::lock_guard<std::mutex> lock(FLock);
    FHandle = h;
    FAllocated = true;
    FClosePending = false;
}

void TIdSocketHandle::Attach(const TIdAcceptResult& accepted) {
    std::lock_guard<std::mutex> lock(FLock);
    FHandle = accepted.Handle;
    FAllocated = accepted.Handle != Id_INVALID_SOCKET;
    FClosePending = false;
    PeerIP = accepted.PeerIP;
    PeerPort = accepted.PeerPort;
}

bool TIdSocketHandle::HandleAllocated() const {
    std::lock_guard<std::mutex> lock(FLock);
    return FAllocated;
}

bool TIdSocketHandle::BeginUse(TIdStackSocketHandle& handle) {
    std::lock_guard<std::mutex> lock(FLock);
    if (!FAllocated) return false;
    ++FUsers;
    handle = FHandle;
    return true;
}

void TIdSocketHandle::EndUse() {
    std::lock_guard<std::mutex> lock(FLock);
    if (--FUsers == 0 && FClosePending) {
        FClosePending = false;
        FStack->CloseSocket(FHandle);
        FHandle = Id_INVALID_SOCKET;
    }
}

void TIdSocketHandle::SetReuseAddress() {
    TUse use(*this);
    if (use.Active()) FStack->SetReuseAddress(use.Handle());
}

void TIdSocketHandle::Bind() {
    TUse use(*this);
    // Whatever made bind fail, the caller learns that the port is taken.
    if (!use.Active() || !FStack->Bind(use.Handle(), IPVersion, Port))
        throw EIdCouldNotBindSocket(kCouldNotBindSocket);
}

void TIdSocketHandle::Listen(int backlog) {
    TUse use(*this);
    if (!use.Active()) throw EIdSocketError(wsa::kENOTSOCK);
    FStack->Listen(use.Handle(), backlog);
}

bool TIdSocketHandle::Select(int timeoutMs) {
    TUse use(*this);
    return use.Active() && FStack->Readable(use.Handle(), timeoutMs);
}

TIdAcceptResult TIdSocketHandle::Accept() {
    TUse use(*this);
    if (!use.Active()) return {};
    return FStack->Accept(use.Handle(), IPVersion);
}

int TIdSocketHandle::Receive(void* buffer, int length) {
    TUse use(*this);
    if (!use.Active()) throw EIdConnClosedGracefully(kConnClosedGracefully);
    return FStack->Receive(use.Handle(), buffer, length);
}

void TIdSocketHandle::CloseSocket() {
    std::lock_guard<std::mutex> lock(FLock);
    if (!FAllocated) return;
    FAllocated = false;
    FStack->Shutdown(FHandle, TIdShutdown::Send);
    if (FUsers == 0 || FStack->CloseWakesWaiters()) {
        // A waiter on another thread returns and finds the socket gone.
        FStack->CloseSocket(FHandle);
        FHandle = Id_INVALID_SOCKET;
    } else {
        // Another thread waits on this socket. Closing the descriptor would
        // not wake it, and its number could be reused at once; shutting
        // down the receiving side wakes it, and the descriptor is closed
        // when its call returns.
        FStack->Shutdown(FHandle, TIdShutdown::Receive);
        FClosePending = true;
    }
}

}  // namespace qr
