// A listener whose accepts keep failing (no descriptors, buffers or threads
// left) must neither spin nor lose the waiting client: it tries again at a
// calm pace and serves the client once accepting works again.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "tests/unit/ServerTestHarness.h"

namespace qr::test {
namespace {

enum class TAcceptFault { None, NoSocket, Raises };

// The process's stack, with accepts that fail on request (without taking
// the waiting connection, as when descriptors run out).
class TFaultyAcceptStack : public TIdStack {
public:
    std::atomic<TAcceptFault> Fault{TAcceptFault::None};
    std::atomic<int> FailedAccepts{0};

    TIdStackSocketHandle NewSocketHandle(TIdIPVersion v) override { return FReal->NewSocketHandle(v); }
    void SetReuseAddress(TIdStackSocketHandle s) override { FReal->SetReuseAddress(s); }
    bool ReuseAddressByDefault() const override { return FReal->ReuseAddressByDefault(); }
    bool CloseWakesWaiters() const override { return FReal->CloseWakesWaiters(); }
    bool Bind(TIdStackSocketHandle s, TIdIPVersion v, uint16_t port) override {
        return FReal->Bind(s, v, port);
    }
    void Listen(TIdStackSocketHandle s, int backlog) override { FReal->Listen(s, backlog); }
    bool Readable(TIdStackSocketHandle s, int timeoutMs) override { return FReal->Readable(s, timeoutMs); }
    int Receive(TIdStackSocketHandle s, void* b, int n) override { return FReal->Receive(s, b, n); }
    void Shutdown(TIdStackSocketHandle s, TIdShutdown how) override { FReal->Shutdown(s, how); }
    void CloseSocket(TIdStackSocketHandle s) override { FReal->CloseSocket(s); }
    bool SupportsIPv6() override { return FReal->SupportsIPv6(); }

    TIdAcceptResult Accept(TIdStackSocketHandle s, TIdIPVersion v) override {
        switch (Fault.load()) {
            case TAcceptFault::None:
                return FReal->Accept(s, v);
            case TAcceptFault::NoSocket:
                ++FailedAccepts;
                return {};
            case TAcceptFault::Raises:
                ++FailedAccepts;
                throw EIdSocketError(10055);  // WSAENOBUFS
        }
        return {};
    }

private:
    std::shared_ptr<TIdStack> FReal = AcquireStack();
};

TEST(ServerAcceptFailures, ListenerPausesBetweenFailuresAndServesTheClientAfterwards) {
    for (TAcceptFault fault : {TAcceptFault::NoSocket, TAcceptFault::Raises}) {
        SCOPED_TRACE(fault == TAcceptFault::NoSocket ? "accept without a socket" : "accept raising");
        auto stack = std::make_shared<TFaultyAcceptStack>();
        TServerHarness h(std::make_unique<TIdTCPServer>(nullptr, stack));
        h.Start(true);
        stack->Fault = fault;
        auto client = h.Connect();
        ASSERT_TRUE(client->Send("waited for\f"));
        h.PumpFor(std::chrono::milliseconds(2000));
        // Pausing a quarter second between failures gives about nine tries
        // in two seconds; a listener that spins makes thousands.
        EXPECT_GE(stack->FailedAccepts.load(), 2);
        EXPECT_LE(stack->FailedAccepts.load(), 30) << "the listener retries without pause";
        EXPECT_TRUE(h.Messages.empty());
        stack->Fault = TAcceptFault::None;
        ASSERT_TRUE(h.WaitForMessages(1));
        EXPECT_EQ(h.MessageBytes(), std::vector<std::string>{"waited for"});
    }
}

}  // namespace
}  // namespace qr::test
