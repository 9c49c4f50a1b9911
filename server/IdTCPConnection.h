#pragma once
// One accepted connection: its I/O handler with the input buffer, the
// connection with the two operations the connection loop uses, and the
// context handed to the server's OnExecute. Each owns and frees the next.
#include <memory>
#include <string>

#include "server/IdSocketHandle.h"

namespace qr {

using TIdBytes = std::string;  // raw bytes

class TIdTCPServer;

class TIdIOHandlerStack {
public:
    explicit TIdIOHandlerStack(std::shared_ptr<TIdStack> stack);

    static constexpr int ReadTimeout = -1;        // wait without limit
    static constexpr int RecvBufferSize = 32768;  // most bytes one receive takes
    // What the input buffer (and the connection loop's own) keeps between
    // receives: a larger receive's room is given back once its bytes moved
    // on, so that an idle connection costs little whatever it received.
    static constexpr size_t KeptInputCapacity = 4096;

    TIdSocketHandle& Binding() { return FBinding; }
    TIdBytes& InputBuffer() { return FInputBuffer; }
    bool Opened() const { return FOpened; }
    bool ClosedGracefully() const { return FClosedGracefully; }

    void Open();
    // Marks the socket not allocated, closes it and marks the handler closed.
    void Close();
    // Waits at most `timeoutMs` until the socket is readable; false when it
    // is not, or is closed.
    bool WaitReadable(int timeoutMs);
    // One receive, waiting until input arrives or the socket is closed:
    // bytes go to the input buffer; 0 bytes mean the peer closed its side,
    // and the socket is closed. Raises EIdSocketError.
    void ReadFromSource();
    // Raises EIdConnClosedGracefully when the peer closed or the socket is gone.
    void CheckForDisconnect();

private:
    TIdSocketHandle FBinding;
    TIdBytes FInputBuffer;
    // Where one receive lands; on the heap, so that connection threads can
    // do with small stacks.
    std::unique_ptr<char[]> FReceiveBuffer;
    bool FOpened = false;
    bool FClosedGracefully = false;
};

class TIdTCPConnection {
public:
    explicit TIdTCPConnection(std::unique_ptr<TIdIOHandlerStack> ioHandler);

    TIdIOHandlerStack& IOHandler() { return *FIOHandler; }

    // Waits without limit for input and appends every buffered byte to
    // `data`; returns only after appending at least one byte, otherwise
    // raises EIdConnClosedGracefully or EIdSocketError.
    void ReadAvailable(TIdBytes& data);
    // Closes the connection. With `probe`, first looks once, without
    // waiting, whether the peer sent or closed something; an error of that
    // look is raised after the connection has been closed.
    void CloseConnection(bool probe);
    bool Connected();

private:
    std::unique_ptr<TIdIOHandlerStack> FIOHandler;
};

class TIdContext {
public:
    explicit TIdContext(std::unique_ptr<TIdTCPConnection> connection);
    virtual ~TIdContext();
    TIdTCPConnection& Connection() { return *FConnection; }

private:
    std::unique_ptr<TIdTCPConnection> FConnection;
};

class TIdServerContext : public TIdContext {
public:
    TIdServerContext(std::unique_ptr<TIdTCPConnection> connection, TIdTCPServer& server)
        : TIdContext(std::move(connection)), FServer(server) {}
    TIdTCPServer& Server() { return FServer; }

private:
    TIdTCPServer& FServer;
};

}  // namespace qr
