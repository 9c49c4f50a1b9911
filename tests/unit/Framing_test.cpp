// The framing state machine on its own: where messages are cut, what
// "quit" stops, and the size bound.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/MessageFramer.h"

namespace qr {
namespace {

std::vector<std::string> Drain(TMessageFramer& f) {
    std::vector<std::string> out;
    while (f.HasMessage()) out.push_back(UnicodeToAnsi(f.TakeMessage().Text));
    return out;
}

std::vector<std::string> FrameAll(const std::vector<std::string>& chunks) {
    TMessageFramer f;
    std::vector<std::string> out;
    for (const std::string& c : chunks) {
        f.Feed(c);
        for (auto& m : Drain(f)) out.push_back(m);
    }
    return out;
}

TEST(Framing, EveryFormFeedEndsAMessageWhateverTheSegmentation) {
    using V = std::vector<std::string>;
    EXPECT_EQ(FrameAll({"play\f"}), V{"play"});
    EXPECT_EQ(FrameAll({"pl", "ay\f"}), V{"play"});
    EXPECT_EQ(FrameAll({"a\fb\f"}), (V{"a", "b"}));
    EXPECT_EQ(FrameAll({"\f"}), V{""});
    EXPECT_EQ(FrameAll({"\f\f"}), (V{"", ""}));
    EXPECT_EQ(FrameAll({"a\fb", "c\f", "d"}), (V{"a", "bc"}));
    // Byte by byte gives the same messages as all at once.
    std::string stream = "one\ftwo\r\n\f\fthree\f";
    std::vector<std::string> bytes;
    for (char c : stream) bytes.push_back(std::string(1, c));
    EXPECT_EQ(FrameAll(bytes), FrameAll({stream}));
    EXPECT_EQ(FrameAll({stream}), (V{"one", "two\r\n", "", "three"}));
}

TEST(Framing, BytesAfterTheLastFormFeedWaitForMore) {
    TMessageFramer f;
    f.Feed("done\fpart");
    EXPECT_EQ(Drain(f), std::vector<std::string>{"done"});
    EXPECT_EQ(f.PendingBytes(), 4u);
    EXPECT_FALSE(f.HasMessage());
    f.Feed("ial\f");
    EXPECT_EQ(Drain(f), std::vector<std::string>{"partial"});
    EXPECT_EQ(f.PendingBytes(), 0u);
}

TEST(Framing, ZeroBytesAndEightBitCharactersSurvive) {
    std::string withZero("a\0b", 3);
    auto out = FrameAll({withZero + "\f"});
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0], withZero);
    std::string latin = "Gr\xfc\xdf \x80 \xe9";
    EXPECT_EQ(FrameAll({latin + "\f"}), std::vector<std::string>{latin});
}

TEST(Framing, QuitInAnyCaseStopsFramingAndIsStillDelivered) {
    for (const char* quit : {"quit", "QUIT", "Quit", "qUiT"}) {
        TMessageFramer f;
        f.Feed(std::string("before\f") + quit + "\fafter\f");
        ASSERT_TRUE(f.HasMessage());
        TFramedMessage first = f.TakeMessage();
        EXPECT_FALSE(first.IsQuit);
        ASSERT_TRUE(f.HasMessage());
        TFramedMessage q = f.TakeMessage();
        EXPECT_TRUE(q.IsQuit) << quit;
        EXPECT_EQ(UnicodeToAnsi(q.Text), quit);
        EXPECT_FALSE(f.HasMessage()) << "nothing after quit";
        EXPECT_TRUE(f.QuitSeen());
        f.Feed("later\f");
        EXPECT_FALSE(f.HasMessage());
    }
}

TEST(Framing, OnlyTheWholeWordIsQuit) {
    for (const char* text : {"quit ", " quit", "quits", "qui", ""}) {
        TMessageFramer f;
        f.Feed(std::string(text) + "\f");
        ASSERT_TRUE(f.HasMessage());
        EXPECT_FALSE(f.TakeMessage().IsQuit) << '"' << text << '"';
        f.Feed("next\f");
        EXPECT_TRUE(f.HasMessage()) << "framing goes on after \"" << text << '"';
    }
}

TEST(Framing, MessagesUpToTheBoundAreWholeAndLongerOnesAreDropped) {
    const size_t max = TMessageFramer::MaxMessageSize;
    {
        TMessageFramer f;
        std::string big(max, 'x');
        // Delivered whole and once, also when it arrives in pieces.
        for (size_t i = 0; i < big.size(); i += 32768) f.Feed(std::string_view(big).substr(i, 32768));
        EXPECT_FALSE(f.HasMessage());
        f.Feed("\f");
        auto out = Drain(f);
        ASSERT_EQ(out.size(), 1u);
        EXPECT_EQ(out[0].size(), max);
        EXPECT_FALSE(f.Overflowed());
        // An idle connection does not keep the large message's room.
        EXPECT_LE(f.BufferCapacity(), TMessageFramer::KeptCapacity);
        // Small messages keep theirs, so they are not allocated afresh each time.
        f.Feed(std::string(1000, 's'));
        size_t small = f.BufferCapacity();
        f.Feed("\f");
        EXPECT_EQ(f.BufferCapacity(), small);
        EXPECT_EQ(Drain(f), std::vector<std::string>{std::string(1000, 's')});
    }
    {
        TMessageFramer f;
        f.Feed("ok\f");
        f.Feed(std::string(max, 'y'));
        EXPECT_FALSE(f.Overflowed());
        f.Feed("y");  // one byte past the bound, no form feed yet
        EXPECT_TRUE(f.Overflowed());
        EXPECT_EQ(f.PendingBytes(), 0u);
        f.Feed("\fafter\f");
        EXPECT_EQ(Drain(f), std::vector<std::string>{"ok"}) << "only the message before the long one";
    }
    {
        // The bound also holds when the long message and its form feed
        // arrive together.
        TMessageFramer f;
        f.Feed(std::string(max + 1, 'z') + "\f");
        EXPECT_TRUE(f.Overflowed());
        EXPECT_FALSE(f.HasMessage());
    }
}

}  // namespace
}  // namespace qr
