#pragma once
// A plain blocking TCP client for the server tests: connect, send, close,
// reset, and see the server close.
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "tests/support/ClientSocket.h"

namespace qr::test {

class TTestClient {
public:
    // host: "127.0.0.1" or "::1".
    TTestClient(const std::string& host, uint16_t port)
        : FSocket(ClientConnect(host.find(':') != std::string::npos, port)) {}
    ~TTestClient() { Close(); }
    TTestClient(const TTestClient&) = delete;
    TTestClient& operator=(const TTestClient&) = delete;

    // Sends everything; false once the connection refuses (the server may
    // already have closed it).
    bool Send(std::string_view bytes) {
        while (!bytes.empty()) {
            int n = ClientSend(FSocket, bytes.data(), bytes.size());
            if (n <= 0) return false;
            bytes.remove_prefix(size_t(n));
        }
        return true;
    }

    void ShutdownSend() { ClientShutdownSend(FSocket); }

    void Close() {
        if (FSocket == kNoSocket) return;
        ClientClose(FSocket);
        FSocket = kNoSocket;
    }

    // Closes with a reset instead of the orderly end.
    void Reset() {
        ClientLingerZero(FSocket);
        Close();
    }

    // True when the server ends the connection (end of stream or reset)
    // within `timeout`. The server never sends data, so any received byte
    // is a fault and counts as not closed.
    bool WaitClosed(std::chrono::milliseconds timeout) {
        if (!ClientReadable(FSocket, int(timeout.count()))) return false;
        return ClientReceiveOne(FSocket) <= 0;
    }

private:
    TClientSocket FSocket = kNoSocket;
};

}  // namespace qr::test
