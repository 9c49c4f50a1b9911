// A reader that stops reading must never hold up the main thread: every
// write is bounded, a write that did not complete counts as failed, and
// after both attempts of one write timed out the writer stops waiting until
// a write gets through.
#include <gtest/gtest.h>

#include <cstdio>
#include <deque>
#include <string>
#include <vector>

#include "link/MailSlotWriter.h"
#include "tools/MailSlotReader.h"

using namespace qr;

namespace {

// A reader with a queue of `room` messages; it reads only when told.
// Handles opened after `restartAt` opens reach a new, empty reader.
struct TQueueSlot : IMailSlotPlatform {
    size_t room = 3;
    bool present = true;
    std::deque<std::string> queued;
    std::vector<std::string> taken;  // what the reader has read
    std::vector<int> waits;          // the wait of every write
    int opens = 0, closes = 0;
    TSlotHandle open = INVALID_SLOT_HANDLE;
    int readAfterWaits = -1;  // the reader reads everything after this many waits

    TSlotHandle Open(const UString&) override {
        ++opens;
        if (!present) return INVALID_SLOT_HANDLE;
        EXPECT_EQ(open, INVALID_SLOT_HANDLE) << "a second handle while one is held";
        return open = 100 + opens;
    }
    TSlotWrite Write(TSlotHandle handle, const void* buffer, int32_t count, int waitMs,
                     int32_t& written) override {
        EXPECT_EQ(handle, open);
        waits.push_back(waitMs);
        if (int(waits.size()) == readAfterWaits) ReadAll();
        written = 0;
        if (queued.size() >= room) return TSlotWrite::TimedOut;
        queued.emplace_back(static_cast<const char*>(buffer), size_t(count));
        written = count;
        return TSlotWrite::Written;
    }
    void Close(TSlotHandle handle) override {
        EXPECT_EQ(handle, open);
        ++closes;
        open = INVALID_SLOT_HANDLE;
    }
    void ReadAll() {
        taken.insert(taken.end(), queued.begin(), queued.end());
        queued.clear();
    }
};

struct MailSlotWriterBound : testing::Test {
    TQueueSlot* slot = new TQueueSlot;
    TMailSlotWriter writer{u"Quellora\\Messages", std::unique_ptr<IMailSlotPlatform>(slot)};

    void Fill() {
        for (size_t i = 0; i < slot->room; ++i) ASSERT_EQ(writer.Write("fill", 4), 4);
        slot->waits.clear();
    }
};

}  // namespace

TEST_F(MailSlotWriterBound, TimedOutWriteIsRetriedOnceAndLeavesNoHandle) {
    Fill();
    EXPECT_EQ(writer.Write("late", 4), 0);
    EXPECT_EQ(slot->waits, (std::vector<int>{kSlotWriteBoundMs, kSlotWriteBoundMs}))
        << "each attempt waits one bound";
    EXPECT_EQ(slot->opens, 2);
    EXPECT_FALSE(writer.IsOpen()) << "a held handle keeps a restarted reader from creating its mailslot";
    EXPECT_TRUE(writer.ReaderStalled());
    EXPECT_EQ(slot->queued.size(), slot->room) << "nothing of a timed-out write arrives";
}

TEST_F(MailSlotWriterBound, WhileStalledNothingWaitsAndTheFirstDeliveryRestoresTheBound) {
    Fill();
    writer.Write("late", 4);
    slot->waits.clear();
    for (int i = 0; i < 100; ++i) EXPECT_EQ(writer.Write("storm", 5), 0);
    EXPECT_EQ(slot->waits, std::vector<int>(200, 0)) << "a queue of hand-offs must not cost a bound each";
    EXPECT_FALSE(writer.IsOpen());

    // The reader reads again: the next message reaches it at once, and a
    // reader that stalls later gets the full bound again.
    slot->ReadAll();
    slot->waits.clear();
    EXPECT_EQ(writer.Write("back", 4), 4);
    EXPECT_FALSE(writer.ReaderStalled());
    EXPECT_EQ(slot->queued, (std::deque<std::string>{"back"}));
    slot->room = 1;
    EXPECT_EQ(writer.Write("again", 5), 0);
    EXPECT_EQ(slot->waits, (std::vector<int>{0, kSlotWriteBoundMs, kSlotWriteBoundMs}));
}

// A reader that pauses for longer than one bound, with its queue full, but
// reads again before the retry's bound has passed loses nothing.
TEST_F(MailSlotWriterBound, AReaderThatPausesForOneBoundLosesNothing) {
    Fill();
    slot->readAfterWaits = 2;  // it reads during the retry's wait
    EXPECT_EQ(writer.Write("paused", 6), 6);
    EXPECT_FALSE(writer.ReaderStalled());
    EXPECT_EQ(writer.Write("next", 4), 4);
    EXPECT_EQ(slot->waits, (std::vector<int>{kSlotWriteBoundMs, kSlotWriteBoundMs, kSlotWriteBoundMs}))
        << "the next write still gets the whole bound";
    EXPECT_EQ(slot->queued, (std::deque<std::string>{"paused", "next"}));
}

TEST_F(MailSlotWriterBound, ImmediateFailuresKeepTheBoundForBothAttempts) {
    slot->room = 0;
    slot->present = false;
    EXPECT_EQ(writer.Write("x", 1), 0);
    EXPECT_TRUE(slot->waits.empty()) << "no mailslot: nothing to write to";
    EXPECT_FALSE(writer.ReaderStalled());
    slot->present = true;
    slot->room = 5;
    EXPECT_EQ(writer.Write("y", 1), 1);
    EXPECT_EQ(slot->waits, (std::vector<int>{kSlotWriteBoundMs}));
    EXPECT_TRUE(writer.IsOpen()) << "a delivered write keeps its handle";
}

// The real transport with a reader that is alive but does not read (on
// Windows a mailslot nobody calls ReadFile on). Writes must come back, the
// ones reported delivered must be exactly what the reader finds, and once
// it reads again forwarding goes on.
TEST(MailSlotBoundRoundTrip, ReaderThatDoesNotReadNeverBlocksTheWriter) {
    const UString name =
        u"QuelloraTest\\Stalled" + Utf8ToUnicode(std::to_string(reinterpret_cast<uintptr_t>(&name)));
    auto reader = CreateMailSlotReader(name);
    TMailSlotWriter writer(name);
    const std::string filler(1000, 'f');
    std::vector<std::string> delivered;
    int i = 0;
    // Wine's queue holds about 200 KB, the datagram socket's a few messages.
    for (; i < 5000 && !writer.ReaderStalled(); ++i) {
        std::string msg = std::to_string(i) + filler;
        if (writer.Write(msg.data(), int32_t(msg.size())) > 0) delivered.push_back(msg);
    }
    ASSERT_TRUE(writer.ReaderStalled()) << i << " writes and the queue never filled";
    std::printf("[ bound    ] a reader that does not read took %zu messages of about 1 KB\n",
                delivered.size());
    std::fflush(stdout);
    EXPECT_FALSE(writer.IsOpen());
    ASSERT_FALSE(delivered.empty());
    for (int k = 0; k < 20; ++k) EXPECT_EQ(writer.Write("x", 1), 0) << "dropped while the reader is stalled";

    for (const std::string& want : delivered) {
        auto got = reader->Receive(5000);
        ASSERT_TRUE(got.has_value());
        ASSERT_EQ(*got, want) << "a delivered message is missing or one reported dropped arrived";
    }
    EXPECT_EQ(reader->Receive(50), std::nullopt) << "a dropped message arrived";
    EXPECT_EQ(writer.Write("back", 4), 4);
    EXPECT_EQ(reader->Receive(5000), std::optional<std::string>("back"));
}

// The reader ends while the writer holds its handle. Wine keeps such a
// mailslot alive (and takes messages into it) as long as a handle to it is
// open; the writer must let go of it soon, so that a reader that starts
// again can create the mailslot, and the next message must reach it.
TEST(MailSlotBoundRoundTrip, ReaderThatEndsCanStartAgainAndGetsTheNextMessage) {
    const UString name =
        u"QuelloraTest\\Restart" + Utf8ToUnicode(std::to_string(reinterpret_cast<uintptr_t>(&name)));
    auto reader = CreateMailSlotReader(name);
    TMailSlotWriter writer(name);
    ASSERT_EQ(writer.Write("first", 5), 5);
    EXPECT_EQ(reader->Receive(5000), std::optional<std::string>("first"));
    reader.reset();
    const std::string filler(1000, 'g');
    int i = 0;
    for (; i < 5000 && writer.IsOpen(); ++i) writer.WriteString(filler);
    ASSERT_FALSE(writer.IsOpen()) << i << " writes into the mailslot of a reader that ended";
    std::printf("[ bound    ] the writer let go of an ended reader's mailslot at write %d\n", i);
    std::fflush(stdout);
    reader = CreateMailSlotReader(name);
    EXPECT_EQ(writer.Write("second", 6), 6);
    EXPECT_EQ(reader->Receive(5000), std::optional<std::string>("second"));
    EXPECT_EQ(reader->Receive(50), std::nullopt);
}
