#include "server/IdTCPConnection.h"

#include <exception>

namespace qr {

namespace {

// The reader's wait is meant to last until input arrives or the socket is
// closed, and closing wakes it. It still looks at the socket's state once a
// second, so that a platform whose wait is not woken by the close cannot
// keep a connection thread (and a deactivation waiting for it) forever.
constexpr int kReadWaitSliceMs = 1000;

}  // namespace

TIdIOHandlerStack::TIdIOHandlerStack(std::shared_ptr<TIdStack> stack) : FBinding(std::move(stack)) {}

void TIdIOHandlerStack::Open() {
    FInputBuffer.clear();
    FClosedGracefully = false;
    FOpened = true;
}

void TIdIOHandlerStack::Close() {
    FBinding.CloseSocket();
    FOpened = false;
}

bool TIdIOHandlerStack::WaitReadable(int timeoutMs) {
    if (timeoutMs >= 0) return FBinding.Select(timeoutMs);
    for (;;) {
        if (FBinding.Select(kReadWaitSliceMs)) return true;
        if (!FBinding.HandleAllocated()) return false;
    }
}

void TIdIOHandlerStack::ReadFromSource() {
    char buffer[RecvBufferSize];
    int n = FBinding.Receive(buffer, RecvBufferSize);
    if (n > 0) {
        FInputBuffer.append(buffer, size_t(n));
    } else {
        FClosedGracefully = true;
        FBinding.CloseSocket();
    }
}

void TIdIOHandlerStack::CheckForDisconnect() {
    if (FClosedGracefully || !FBinding.HandleAllocated())
        throw EIdConnClosedGracefully(kConnClosedGracefully);
}

TIdTCPConnection::TIdTCPConnection(std::unique_ptr<TIdIOHandlerStack> ioHandler)
    : FIOHandler(std::move(ioHandler)) {}

void TIdTCPConnection::ReadAvailable(TIdBytes& data) {
    TIdIOHandlerStack& io = *FIOHandler;
    if (io.Binding().HandleAllocated()) {
        if (!io.WaitReadable(TIdIOHandlerStack::ReadTimeout))
            throw EIdConnClosedGracefully(kConnClosedGracefully);
        io.ReadFromSource();
    }
    io.CheckForDisconnect();
    data += io.InputBuffer();
    io.InputBuffer().clear();
}

void TIdTCPConnection::CloseConnection(bool probe) {
    TIdIOHandlerStack& io = *FIOHandler;
    std::exception_ptr probeError;
    if (probe && io.Binding().HandleAllocated()) {
        try {
            if (io.WaitReadable(0)) io.ReadFromSource();
        } catch (...) {
            probeError = std::current_exception();
        }
    }
    if (io.Opened()) io.Close();
    if (probeError) std::rethrow_exception(probeError);
}

bool TIdTCPConnection::Connected() {
    TIdIOHandlerStack& io = *FIOHandler;
    return io.Opened() && !io.ClosedGracefully() && io.Binding().HandleAllocated();
}

TIdContext::TIdContext(std::unique_ptr<TIdTCPConnection> connection) : FConnection(std::move(connection)) {}

TIdContext::~TIdContext() = default;

}  // namespace qr
