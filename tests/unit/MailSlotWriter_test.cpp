#include <gtest/gtest.h>

#include <thread>

#include "link/MailSlotWriter.h"
#include "tools/MailSlotReader.h"

using namespace qr;

namespace {

// Counts what the writer asks of the platform and fails on demand.
struct TFakeSlot : IMailSlotPlatform {
    int opens = 0, writes = 0, closes = 0;
    bool present = true;  // the mailslot exists
    int failWrites = 0;   // this many next writes fail
    std::vector<std::string> messages;
    std::vector<int32_t> counts;
    TSlotHandle next = 100;

    TSlotHandle Open(const UString& path) override {
        ++opens;
        EXPECT_EQ(path, u"\\\\.\\mailslot\\Quellora\\Messages");
        return present ? next++ : INVALID_SLOT_HANDLE;
    }
    TSlotWrite Write(TSlotHandle, const void* buffer, int32_t count, int, int32_t& written) override {
        ++writes;
        counts.push_back(count);
        if (failWrites > 0) {
            --failWrites;
            written = 0;
            return TSlotWrite::Failed;
        }
        messages.emplace_back(static_cast<const char*>(buffer), size_t(count));
        written = count;
        return TSlotWrite::Written;
    }
    void Close(TSlotHandle handle) override {
        ++closes;
        if (closedOut) closedOut->push_back(handle);
    }
    // Outlives the fake, which the writer owns and deletes.
    std::vector<TSlotHandle>* closedOut = nullptr;
};

struct MailSlotWriterTest : testing::Test {
    TFakeSlot* slot = new TFakeSlot;
    TMailSlotWriter writer{u"Quellora\\Messages", std::unique_ptr<IMailSlotPlatform>(slot)};
};

}  // namespace

TEST_F(MailSlotWriterTest, OpensLazilyOnceAndReusesTheHandle) {
    EXPECT_EQ(slot->opens, 0);
    EXPECT_EQ(writer.Write("play", 4), 4);
    EXPECT_EQ(writer.Write("stop", 4), 4);
    EXPECT_EQ(slot->opens, 1);
    EXPECT_EQ(slot->writes, 2);
    EXPECT_EQ(slot->messages, (std::vector<std::string>{"play", "stop"}));
    EXPECT_TRUE(writer.IsOpen());
}

TEST_F(MailSlotWriterTest, MissingMailslotMeansTwoOpensNoWriteAndZero) {
    slot->present = false;
    EXPECT_EQ(writer.Write("play", 4), 0);
    EXPECT_EQ(slot->opens, 2);
    EXPECT_EQ(slot->writes, 0);
    EXPECT_FALSE(writer.IsOpen());
    // The next write tries again and reaches a reader that came back.
    slot->present = true;
    EXPECT_EQ(writer.Write("next", 4), 4);
    EXPECT_EQ(slot->opens, 3);
}

TEST_F(MailSlotWriterTest, FailedWriteReopensOnceAndRetries) {
    writer.Write("a", 1);
    slot->failWrites = 1;
    EXPECT_EQ(writer.Write("bc", 2), 2);
    EXPECT_EQ(slot->opens, 2);
    EXPECT_EQ(slot->closes, 1);
    EXPECT_EQ(slot->writes, 3);
    EXPECT_TRUE(writer.IsOpen());
    EXPECT_EQ(slot->messages, (std::vector<std::string>{"a", "bc"}));
}

TEST_F(MailSlotWriterTest, SecondFailureDropsTheMessageWithoutThirdAttempt) {
    slot->failWrites = 2;
    EXPECT_EQ(writer.Write("x", 1), 0);
    EXPECT_EQ(slot->writes, 2);
    EXPECT_EQ(slot->opens, 2);
    EXPECT_TRUE(slot->messages.empty());
    EXPECT_FALSE(writer.IsOpen()) << "a reader that restarts could not create its mailslot";
}

TEST_F(MailSlotWriterTest, WriteStringSendsEveryByteOnceAndTheEmptyString) {
    writer.WriteString(std::string("a\0b\0", 4));
    writer.WriteString("");
    ASSERT_EQ(slot->counts, (std::vector<int32_t>{4, 0}));
    EXPECT_EQ(slot->messages[0], std::string("a\0b\0", 4));
}

TEST_F(MailSlotWriterTest, ReadAndPositioningRaiseStreamErrors) {
    char buf[4];
    try {
        writer.Read(buf, 4);
        FAIL() << "Read must raise";
    } catch (const EStreamError& e) {
        EXPECT_STREQ(e.what(), "Stream read error: \\\\.\\mailslot\\Quellora\\Messages");
    }
    try {
        writer.Seek(int64_t(0), TSeekOrigin::soBeginning);
        FAIL() << "Seek must raise";
    } catch (const EStreamError& e) {
        EXPECT_STREQ(e.what(), "TMailSlotWriter.Seek not implemented");
    }
    EXPECT_THROW(writer.GetSize(), EStreamError);
    EXPECT_THROW(writer.GetPosition(), EStreamError);
    writer.SetSize(int64_t(10));  // does nothing, raises nothing
    EXPECT_EQ(slot->opens, 0);
}

TEST(MailSlotWriterLifetime, DestructionClosesOnlyWhatWasOpen) {
    std::vector<TSlotHandle> closed;
    {
        auto* slot = new TFakeSlot;
        slot->closedOut = &closed;
        TMailSlotWriter w(u"Quellora\\Messages", std::unique_ptr<IMailSlotPlatform>(slot));
    }
    EXPECT_TRUE(closed.empty()) << "a writer that never wrote has nothing to close";
    {
        auto* slot = new TFakeSlot;
        slot->closedOut = &closed;
        TMailSlotWriter w(u"Quellora\\Messages", std::unique_ptr<IMailSlotPlatform>(slot));
        w.Write("x", 1);
        EXPECT_TRUE(closed.empty()) << "the handle stays open between writes";
    }
    EXPECT_EQ(closed, std::vector<TSlotHandle>{100}) << "destruction closes the handle it opened, once";
}

TEST(MailSlotPath, MapsMailslotNamesUnderTheRuntimeFolder) {
    EXPECT_EQ(MailSlotSocketPath(u"\\\\.\\mailslot\\Quellora\\Messages", "/run/user/1"),
              "/run/user/1/quellora-mailslots/Quellora/Messages");
    EXPECT_EQ(MailSlotSocketPath(u"\\\\.\\MAILSLOT\\x", ""), "/tmp/quellora-mailslots/x");
    EXPECT_EQ(MailSlotSocketPath(u"\\\\.\\mailslot\\..\\etc", "/tmp"), "");
    EXPECT_EQ(MailSlotSocketPath(u"C:\\file", "/tmp"), "");
}

// The real transport: writer -> mailslot (or its datagram stand-in) -> reader.
// Large messages stay below what Wine's mailslot carries (about 200 KB).
TEST(MailSlotRoundTrip, EveryWriteArrivesAsOneMessageWithItsExactBytes) {
    const UString name =
        u"QuelloraTest\\RoundTrip" + Utf8ToUnicode(std::to_string(reinterpret_cast<uintptr_t>(&name)));
    TMailSlotWriter writer(name);
    EXPECT_EQ(writer.Write("early", 5), 0) << "no reader yet: dropped";
    auto reader = CreateMailSlotReader(name);
    std::string big(200000, 'x');
    big[1000] = '\0';
    writer.WriteString("play");
    writer.WriteString(std::string("a\0b", 3));
    writer.WriteString(big);
    EXPECT_EQ(reader->Receive(5000), std::optional<std::string>("play"));
    EXPECT_EQ(reader->Receive(5000), std::optional<std::string>(std::string("a\0b", 3)));
    auto got = reader->Receive(5000);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->size(), big.size());
    EXPECT_TRUE(*got == big) << "the large message arrived changed";
    EXPECT_EQ(reader->Receive(50), std::nullopt);
}
