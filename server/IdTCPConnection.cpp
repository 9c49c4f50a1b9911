#include "server/IdTCPConnection.h"

#include <exception>

namespace qr {

TIdIOHandlerStack::TIdIOHandlerStack(std::shared_ptr<TIdStack> stack)
    : FBinding(std::move(stack)), FReceiveBuffer(new char[RecvBufferSize]) {}

void TIdIOHandlerStack::Open() {
    FInputBuffer.clear();
    FClosedGracefully = false;
    FOpened = true;
}

void TIdIOHandlerStack::Close() {
    FBinding.CloseSocket();
    FOpened = false;
}

bool TIdIOHandlerStack::WaitReadable(int timeoutMs) { return FBinding.Select(timeoutMs); }

void TIdIOHandlerStack::ReadFromSource() {
    int n = FBinding.Receive(FReceiveBuffer.get(), RecvBufferSize);
    if (n > 0) {
        FInputBuffer.append(FReceiveBuffer.get(), size_t(n));
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
    // No readiness wait before the receive: a blocking receive waits just
    // as long, and a wait of its own would cost a second socket call per
    // arrival (under Wine each is a round trip to the wineserver). An idle
    // connection sleeps in the receive without waking; closing the socket,
    // as the server's deactivation does, ends that wait with an error or
    // the end of input, either of which ends the connection.
    if (io.Binding().HandleAllocated()) io.ReadFromSource();
    io.CheckForDisconnect();
    data += io.InputBuffer();
    if (io.InputBuffer().capacity() > TIdIOHandlerStack::KeptInputCapacity)
        TIdBytes().swap(io.InputBuffer());
    else
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
