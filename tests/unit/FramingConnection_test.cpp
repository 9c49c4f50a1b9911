// The connection loop over real loopback connections: what a client sends
// and what reaches the main thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "server/MessageFramer.h"
#include "tests/unit/ServerTestHarness.h"

namespace qr::test {
namespace {

using Strings = std::vector<std::string>;

class FramingConnection : public ::testing::Test {
protected:
    void SetUp() override { H.Start(true); }
    TServerHarness H;
};

TEST_F(FramingConnection, MessagesAreCutAtEveryFormFeedWhateverTheWrites) {
    auto c = H.Connect();
    ASSERT_TRUE(c->Send("play\f"));
    ASSERT_TRUE(H.WaitForMessages(1));
    EXPECT_EQ(H.MessageBytes(), Strings{"play"});

    // The first half alone is not a message.
    ASSERT_TRUE(c->Send("pl"));
    H.PumpFor(std::chrono::milliseconds(200));
    EXPECT_EQ(H.Messages.size(), 1u);
    ASSERT_TRUE(c->Send("ay\f"));
    ASSERT_TRUE(H.WaitForMessages(2));

    ASSERT_TRUE(c->Send("a\fb\f"));
    ASSERT_TRUE(c->Send("\f"));
    ASSERT_TRUE(H.WaitForMessages(5));
    EXPECT_EQ(H.MessageBytes(), (Strings{"play", "play", "a", "b", ""}));
}

TEST_F(FramingConnection, QuitClosesTheConnectionBeforeItIsHandedOff) {
    auto c = H.Connect();
    ASSERT_TRUE(c->Send("QUIT\fignored\f"));
    // Closed while the hand-off of "QUIT" still waits for the main thread.
    EXPECT_TRUE(c->WaitClosed(kWait)) << "the server closes the connection";
    c->Send("also ignored\f");
    ASSERT_TRUE(H.WaitForNoConnections());
    H.PumpFor(std::chrono::milliseconds(100));
    EXPECT_EQ(H.MessageBytes(), Strings{"QUIT"});

    // Messages before it in the same write are delivered first.
    auto d = H.Connect();
    ASSERT_TRUE(d->Send("first\fquit\flast\f"));
    EXPECT_TRUE(H.WaitClosed(*d));
    ASSERT_TRUE(H.WaitForNoConnections());
    H.PumpFor(std::chrono::milliseconds(100));
    EXPECT_EQ(H.MessageBytes(), (Strings{"QUIT", "first", "quit"}));
}

TEST_F(FramingConnection, AQuitWhoseConnectionBrokeIsNotHandedOff) {
    auto c = H.Connect();
    ASSERT_TRUE(c->Send("hold\fquit\f"));
    // The connection thread waits in the hand-off of "hold" while the
    // client resets; the probe made when closing after "quit" then fails.
    ASSERT_TRUE(H.WaitForPendingHandOff());
    c->Reset();
    ASSERT_TRUE(H.WaitForNoConnections());
    H.PumpFor(std::chrono::milliseconds(100));
    // Where a reset reads as an orderly end (Wine), the probe finds nothing
    // broken and "quit" is forwarded like any quit, once.
    if (kResetAlwaysReported)
        EXPECT_EQ(H.MessageBytes(), Strings{"hold"});
    else
        EXPECT_EQ(H.MessageBytes(), (Strings{"hold", "quit"}));
}

TEST_F(FramingConnection, QuitWithATrailingSpaceIsAnOrdinaryMessage) {
    auto c = H.Connect();
    ASSERT_TRUE(c->Send("quit \f"));
    ASSERT_TRUE(H.WaitForMessages(1));
    ASSERT_TRUE(c->Send("still open\f"));
    ASSERT_TRUE(H.WaitForMessages(2));
    EXPECT_EQ(H.MessageBytes(), (Strings{"quit ", "still open"}));
    EXPECT_EQ(H.Server->ContextCount(), 1u);
}

TEST_F(FramingConnection, LargeMessagesAndZeroBytesArriveWholeAndOnce) {
    std::string big;
    for (int i = 0; i < 100000; ++i) big.push_back(char('!' + i % 90));
    std::string withZero("x\0y", 3);
    auto c = H.Connect();
    // Many writes, so that the server needs many receives.
    for (size_t i = 0; i < big.size(); i += 4000) {
        ASSERT_TRUE(c->Send(std::string_view(big).substr(i, 4000)));
        if (i % 40000 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(c->Send("\f" + withZero + "\f"));
    ASSERT_TRUE(H.WaitForMessages(2));
    H.PumpFor(std::chrono::milliseconds(100));
    ASSERT_EQ(H.Messages.size(), 2u);
    EXPECT_TRUE(H.MessageBytes()[0] == big) << "size " << H.MessageBytes()[0].size();
    EXPECT_EQ(H.MessageBytes()[1], withZero);
    EXPECT_EQ(H.Messages[1].size(), 3u) << "the text keeps the zero character";
}

TEST_F(FramingConnection, AnUnfinishedMessageIsNotDeliveredWhenTheClientLeaves) {
    auto c = H.Connect();
    ASSERT_TRUE(c->Send("complete\fincomplete"));
    ASSERT_TRUE(H.WaitForMessages(1));
    c->Close();
    ASSERT_TRUE(H.WaitForNoConnections());
    H.PumpFor(std::chrono::milliseconds(100));
    EXPECT_EQ(H.MessageBytes(), Strings{"complete"});
}

TEST_F(FramingConnection, AnOverlongMessageClosesOnlyItsConnection) {
    auto flooder = H.Connect();
    auto other = H.Connect();
    ASSERT_TRUE(flooder->Send("before\f"));
    ASSERT_TRUE(H.WaitForMessages(1));
    std::string chunk(65536, 'f');
    bool refused = false;
    // 1 MiB and one byte, then more, never a form feed.
    for (size_t sent = 0; sent <= TMessageFramer::MaxMessageSize + chunk.size() && !refused;
         sent += chunk.size())
        refused = !flooder->Send(chunk);
    if (!refused) flooder->Send("f\f");
    EXPECT_TRUE(H.WaitClosed(*flooder));
    ASSERT_TRUE(other->Send("other\f"));
    ASSERT_TRUE(H.WaitForMessages(2));
    ASSERT_TRUE(H.PumpUntil([&] { return H.Server->ContextCount() == 1; }));
    EXPECT_EQ(H.MessageBytes(), (Strings{"before", "other"}));
    // The server keeps serving new clients too.
    auto late = H.Connect();
    ASSERT_TRUE(late->Send("late\f"));
    ASSERT_TRUE(H.WaitForMessages(3));
    EXPECT_EQ(H.MessageBytes().back(), "late");
}

TEST_F(FramingConnection, TwoClientsAtOnceAreEachDeliveredOnce) {
    auto a = H.Connect();
    auto b = H.Connect();
    std::thread ta([&] { a->Send("from a\f"); });
    std::thread tb([&] { b->Send("from b\f"); });
    ta.join();
    tb.join();
    ASSERT_TRUE(H.WaitForMessages(2));
    H.PumpFor(std::chrono::milliseconds(100));
    Strings got = H.MessageBytes();
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, (Strings{"from a", "from b"}));
}

}  // namespace
}  // namespace qr::test
