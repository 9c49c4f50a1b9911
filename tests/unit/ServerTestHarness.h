#pragma once
// A server on a loopback port of its own, whose messages go through a real
// main-thread queue to a list that the test thread (the queue's main
// thread) reads. Every wait is bounded so that a fault fails the test
// instead of hanging it.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "base/Text.h"
#include "server/ConnectionLoop.h"
#include "server/IdTCPServer.h"
#include "base/MainThreadQueue.h"
#include "tests/unit/ServerTestClient.h"
#include "tests/unit/ServerTestWatchdog.h"

namespace qr::test {

// A port from the part of the dynamic range that Linux does not hand out
// to outgoing connections.
inline uint16_t PickPort() {
    static std::mt19937 random{std::random_device{}()};
    return uint16_t(std::uniform_int_distribution<int>(61000, 65499)(random));
}

// Activates on a free port; `ipv4Only` binds only the IPv4 any-address.
inline uint16_t ActivateOnFreePort(TIdTCPServer& server, bool ipv4Only = false) {
    for (int attempt = 0;; ++attempt) {
        uint16_t port = PickPort();
        server.Bindings().Clear();
        server.SetDefaultPort(port);
        if (ipv4Only) server.Bindings().Add().IPVersion = TIdIPVersion::Id_IPv4;
        try {
            server.SetActive(true);
            return port;
        } catch (const EIdCouldNotBindSocket&) {
            if (attempt == 50) throw;
        }
    }
}

class TServerHarness {
public:
    explicit TServerHarness(std::unique_ptr<TIdTCPServer> server = nullptr)
        : Server(server ? std::move(server) : std::make_unique<TIdTCPServer>(nullptr)) {
        Server->SetName("TestServer");
        Server->SetMainThreadQueue(&Queue);
        Server->OnExecute = [this](TIdContext& context) {
            RunConnectionLoop(context.Connection(), [this](std::span<const UString> texts) {
                Queue.Execute([this, texts] { Messages.insert(Messages.end(), texts.begin(), texts.end()); });
            });
        };
    }
    ~TServerHarness() {
        Deactivate();
        Server.reset();
    }

    void Start(bool ipv4Only = false) { Port = ActivateOnFreePort(*Server, ipv4Only); }
    void Deactivate() {
        TWatchdog watchdog("deactivation");
        Server->SetActive(false);
    }

    std::unique_ptr<TTestClient> Connect(const std::string& host = "127.0.0.1") {
        return std::make_unique<TTestClient>(host, Port);
    }

    // Runs the queue (as the main thread) until `done` or the time is up.
    bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = kWait) {
        auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            Queue.RunQueue();
            if (done()) return true;
            if (std::chrono::steady_clock::now() >= deadline) return false;
            Queue.ServiceFor(std::chrono::milliseconds(5));
        }
    }
    void PumpFor(std::chrono::milliseconds period) { Queue.ServiceFor(period); }
    bool WaitForMessages(size_t count) {
        return PumpUntil([&] { return Messages.size() >= count; });
    }
    // Waits, without running the queue, until a connection thread is
    // blocked in its hand-off.
    bool WaitForPendingHandOff() {
        auto deadline = std::chrono::steady_clock::now() + kWait;
        while (!Queue.HasPending()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }
    // Waits, running the queue, until the server has closed the client's
    // connection.
    bool WaitClosed(TTestClient& client) {
        return PumpUntil([&] { return client.WaitClosed(std::chrono::milliseconds(1)); });
    }
    bool WaitForNoConnections() {
        return PumpUntil([&] { return Server->ContextCount() == 0; });
    }
    // The 8-bit form of each message, as the main thread writes it.
    std::vector<std::string> MessageBytes() const {
        std::vector<std::string> out;
        for (const UString& m : Messages) out.push_back(UnicodeToAnsi(m));
        return out;
    }

    TMainThreadQueue Queue;  // constructed on the test thread: its main thread
    std::unique_ptr<TIdTCPServer> Server;
    std::vector<UString> Messages;  // main thread only
    uint16_t Port = 0;
};

}  // namespace qr::test
