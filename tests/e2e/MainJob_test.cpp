// The real program under Wine, fed over TCP from the Linux side; what it
// forwards is read from the monitor's log.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "e2e/Harness.h"

using namespace e2e;

namespace {

class MainJob : public TProgramSuite {
protected:
    // The messages that arrived since this test began.
    void SetUp() override { before = monitor->Log.Read().size(); }
    std::vector<std::string> Arrived(size_t count, std::chrono::milliseconds timeout = 20s) {
        auto all = monitor->Log.WaitFor(before + count, timeout);
        return std::vector<std::string>(all.begin() + long(before), all.end());
    }
    // Nothing more arrives for a while (a marker message proves the
    // program is still forwarding, so silence means nothing was sent).
    // Connections are served side by side, so the marker can overtake a
    // message of another connection still on its way: wait for those first.
    std::vector<std::string> ArrivedThenMarker(const std::string& marker) {
        TClient c("127.0.0.1", kPort);
        c.Send(marker + "\f");
        for (auto end = Clock::now() + 20s; Clock::now() < end; std::this_thread::sleep_for(20ms)) {
            auto got = Arrived(0, 0ms);
            if (!got.empty() && got.back() == marker) {
                got.pop_back();
                return got;
            }
        }
        ADD_FAILURE() << "marker " << marker << " never arrived";
        return {};
    }

    size_t before = 0;
};

}  // namespace

TEST_F(MainJob, OneMessageInOneWrite) {
    TClient c("127.0.0.1", kPort);
    c.Send("play\f");
    EXPECT_EQ(Arrived(1), std::vector<std::string>{"play"});
}

TEST_F(MainJob, MessageInTwoWritesArrivesOnceWhenComplete) {
    TClient c("127.0.0.1", kPort);
    c.Send("pl");
    std::this_thread::sleep_for(500ms);
    EXPECT_TRUE(Arrived(0, 0ms).empty());
    c.Send("ay\f");
    EXPECT_EQ(Arrived(1), std::vector<std::string>{"play"});
}

TEST_F(MainJob, EveryFormFeedEndsAMessage) {
    TClient c("127.0.0.1", kPort);
    c.Send("a\fb\f\f");
    EXPECT_EQ(Arrived(3), (std::vector<std::string>{"a", "b", ""}));
}

TEST_F(MainJob, QuitIsForwardedAndClosesTheConnection) {
    TClient c("127.0.0.1", kPort);
    c.Send("QUIT\fafter\f");
    EXPECT_TRUE(c.WaitClosedByPeer(20s));
    EXPECT_EQ(Arrived(1), std::vector<std::string>{"QUIT"});
    EXPECT_EQ(ArrivedThenMarker("marker-quit"), std::vector<std::string>{"QUIT"});
}

TEST_F(MainJob, QuitWithABlankIsAnOrdinaryMessage) {
    TClient c("127.0.0.1", kPort);
    c.Send("quit \f");
    EXPECT_EQ(Arrived(1), std::vector<std::string>{"quit "});
    EXPECT_FALSE(c.WaitClosedByPeer(300ms));
    c.Send("still open\f");
    EXPECT_EQ(Arrived(2).back(), "still open");
}

TEST_F(MainJob, LargeMessagesAndZeroBytesArriveWhole) {
    std::string big(100000, 'x');
    for (size_t i = 0; i < big.size(); ++i) big[i] = char('a' + i % 26);
    std::string zero("a\0b", 3);
    TClient c("127.0.0.1", kPort);
    for (size_t i = 0; i < big.size(); i += 7000) c.Send(big.substr(i, 7000));
    c.Send("\f");
    c.Send(zero + "\f");
    auto got = Arrived(2, 60s);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].size(), big.size());
    EXPECT_TRUE(got[0] == big) << "the large message arrived changed";
    EXPECT_EQ(got[1], zero);
}

// Text the memo has to lay out that once crashed Wine's edit control when
// a host font stood in for the window's font.
TEST_F(MainJob, AwkwardTextIsShownAndForwarded) {
    TClient c("127.0.0.1", kPort);
    c.Send("\x98\f%\x98\f1\x98\r\n\x98\f");
    EXPECT_EQ(Arrived(3), (std::vector<std::string>{"\x98", "%\x98", "1\x98\r\n\x98"}));
    EXPECT_EQ(Poke({"get", "Memo1"}), "1\xCB\x9C\n\xCB\x9C\n");
}

TEST_F(MainJob, UnfinishedMessagesAreDropped) {
    {
        TClient closes("127.0.0.1", kPort);
        closes.Send("half a message");
    }
    {
        TClient resets("127.0.0.1", kPort);
        resets.Send("another half");
        resets.Reset();
    }
    EXPECT_TRUE(ArrivedThenMarker("marker-unfinished").empty());
}

TEST_F(MainJob, OversizedMessageClosesOnlyThatConnection) {
    TClient other("127.0.0.1", kPort);
    TClient big("127.0.0.1", kPort);
    std::string chunk(64 * 1024, 'z');
    try {
        for (int i = 0; i < 17; ++i) big.Send(chunk);
    } catch (const std::exception&) {
        // The program may close while the last chunk is on its way.
    }
    EXPECT_TRUE(big.WaitClosedByPeer(20s));
    other.Send("other client\f");
    EXPECT_EQ(Arrived(1), std::vector<std::string>{"other client"});
    EXPECT_EQ(ArrivedThenMarker("marker-oversized"), std::vector<std::string>{"other client"});
}

TEST_F(MainJob, TwoClientsAtOnceAndIPv6) {
    TClient a("127.0.0.1", kPort);
    TClient b("::1", kPort);
    std::thread ta([&] { a.Send("from a\f"); });
    std::thread tb([&] { b.Send("from b\f"); });
    ta.join();
    tb.join();
    auto got = Arrived(2);
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, (std::vector<std::string>{"from a", "from b"}));
}

// Start-up and ending, each with a program of its own.
// Wine keeps a mailslot alive while a writer holds a handle to it, so the
// presentation program going away and coming back cannot be played here;
// a mailslot that appears only after the program started can.
TEST(ProgramLifetime, MessagesBeforeTheMailslotExistsAreDroppedLaterOnesArrive) {
    TProgram program;
    {
        TClient c("127.0.0.1", kPort);
        c.Send("nobody listens\f");
        EXPECT_FALSE(c.WaitClosedByPeer(1s));
    }
    TMonitor monitor;
    TClient c("127.0.0.1", kPort);
    c.Send("now somebody does\f");
    EXPECT_EQ(monitor.Log.WaitFor(1, 20s), std::vector<std::string>{"now somebody does"});
    EXPECT_EQ(program.Close(), std::optional<int>(0));
}

TEST(ProgramLifetime, MessageSentRightAfterStartIsForwarded) {
    TMonitor monitor;
    TProgram program({}, false);
    TClient c("127.0.0.1", kPort, 30s);
    c.Send("early\f");
    EXPECT_EQ(monitor.Log.WaitFor(1, 20s), std::vector<std::string>{"early"});
    EXPECT_EQ(program.Close(), std::optional<int>(0));
}

TEST(ProgramLifetime, EndingClosesIdleClientsAndExitsWithZero) {
    TProgram program;
    TClient a("127.0.0.1", kPort);
    TClient b("::1", kPort);
    a.Send("unfinished");
    EXPECT_EQ(program.Close(), std::optional<int>(0));
    EXPECT_TRUE(a.WaitClosedByPeer(5s));
    EXPECT_TRUE(b.WaitClosedByPeer(5s));
}

TEST(ProgramLifetime, ApplicationWindowCloseAndEndOfSessionEndTheProgram) {
    {
        TProgram program;
        Poke({"app-close"});
        EXPECT_EQ(program.Process().Wait(30s), std::optional<int>(0));
    }
    {
        TProgram program;
        TClient idle("127.0.0.1", kPort);
        Poke({"endsession"});
        EXPECT_EQ(program.Process().Wait(30s), std::optional<int>(0));
        EXPECT_TRUE(idle.WaitClosedByPeer(5s));
    }
}

// The logon session may end while an error box waits for the user on the
// main thread: the program still tears down at once and ends with 0.
TEST(ProgramLifetime, EndOfSessionWhileAnErrorBoxIsOpenEndsTheProgram) {
    TMonitor monitor;
    TProgram program;
    Poke({"set", "edAction", "Show me"});
    Poke({"click", "TntButton1"});
    ASSERT_NE(WaitForMessageBox(), "") << "no error box";
    TClient c("127.0.0.1", kPort);
    c.Send("while the box is open\f");
    EXPECT_EQ(monitor.Log.WaitFor(1, 20s), std::vector<std::string>{"while the box is open"});
    TClient idle("127.0.0.1", kPort);
    Poke({"endsession"});
    EXPECT_EQ(program.Process().Wait(30s), std::optional<int>(0));
    EXPECT_TRUE(idle.WaitClosedByPeer(5s));
}

TEST(ProgramLifetime, SecondInstanceReportsTheBindErrorAndEndsNormally) {
    TProgram first;
    TProgram second({}, false, false);
    // The error reaches the crash reporter; "continue application" goes on.
    std::string box = DismissMessageBox(30s);
    EXPECT_NE(box.find("Could not bind socket. Address and port are already in use."), std::string::npos)
        << box;
    std::string report;
    for (auto end = Clock::now() + 30s; Clock::now() < end; std::this_thread::sleep_for(200ms))
        if ((report = ReadProgramReport()).find("EIdCouldNotBindSocket") != std::string::npos) break;
    EXPECT_NE(report.find("exception class   : EIdCouldNotBindSocket"), std::string::npos) << report;
    // The second one runs on without a listener; the first still serves.
    for (auto end = Clock::now() + 20s; Poke({"forms"}) != "2\n" && Clock::now() < end;)
        std::this_thread::sleep_for(200ms);
    EXPECT_EQ(Poke({"forms"}), "2\n");
    EXPECT_TRUE(second.Process().Running());
    EXPECT_TRUE(first.Process().Running());
    EXPECT_TRUE(PortAccepts("127.0.0.1", kPort));
    Poke({"close-all"});
    EXPECT_EQ(second.Process().Wait(30s), std::optional<int>(0));
    EXPECT_EQ(first.Process().Wait(30s), std::optional<int>(0));
}
