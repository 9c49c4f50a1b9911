// Many clients at once, and many short connections beside them: every
// message arrives exactly once and in its client's order. Meant to be run
// under ThreadSanitizer as well.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/unit/ServerTestHarness.h"

namespace qr::test {
namespace {

constexpr int kClients = 12;
constexpr int kMessagesEach = 150;
constexpr int kShortConnections = 120;

// The messages of one client as one byte stream, cut into random writes.
void SendClientStream(TTestClient& client, int id, unsigned seed) {
    std::mt19937 random(seed);
    std::string stream;
    for (int seq = 0; seq < kMessagesEach; ++seq) {
        stream += "c" + std::to_string(id) + ":" + std::to_string(seq) + ":";
        stream += std::string(size_t(random() % 2000), char('a' + id));
        stream += '\f';
    }
    size_t pos = 0;
    while (pos < stream.size()) {
        size_t n = 1 + random() % 3000;
        if (!client.Send(std::string_view(stream).substr(pos, n))) return;
        pos += n;
        if (random() % 8 == 0) std::this_thread::yield();
    }
}

TEST(ServerStress, ConcurrentClientsAndShortConnectionsDeliverEveryMessageOnceInOrder) {
    TServerHarness h;
    h.Start(true);
    std::atomic<int> clientsDone{0};
    std::atomic<bool> churnDone{false};
    std::atomic<int> failures{0};

    std::vector<std::thread> clients;
    for (int id = 0; id < kClients; ++id)
        clients.emplace_back([&, id] {
            try {
                TTestClient c("127.0.0.1", h.Port);
                SendClientStream(c, id, unsigned(id * 7919 + 1));
            } catch (const std::exception&) {
                ++failures;
            }
            ++clientsDone;
        });
    std::thread churn([&] {
        std::mt19937 random(42);
        for (int i = 0; i < kShortConnections; ++i) {
            try {
                TTestClient c("127.0.0.1", h.Port);
                switch (random() % 3) {
                    case 0:
                        break;  // connect and close
                    case 1:
                        c.Send("unfinished");
                        c.Close();
                        break;
                    default:
                        c.Send("reset midway");
                        c.Reset();
                        break;
                }
            } catch (const std::exception&) {
                ++failures;
            }
        }
        churnDone = true;
    });

    const size_t total = size_t(kClients) * kMessagesEach;
    bool allArrived = h.PumpUntil([&] { return h.Messages.size() >= total && churnDone.load(); },
                                  std::chrono::milliseconds(120000));
    for (auto& t : clients) t.join();
    churn.join();
    ASSERT_TRUE(allArrived) << h.Messages.size() << " of " << total;
    EXPECT_EQ(failures.load(), 0);
    ASSERT_TRUE(h.WaitForNoConnections());
    h.PumpFor(std::chrono::milliseconds(100));

    std::map<int, std::vector<int>> perClient;
    for (const std::string& m : h.MessageBytes()) {
        int id = -1, seq = -1;
        ASSERT_EQ(std::sscanf(m.c_str(), "c%d:%d:", &id, &seq), 2) << "stray message: " << m.substr(0, 40);
        std::string prefix = "c" + std::to_string(id) + ":" + std::to_string(seq) + ":";
        ASSERT_EQ(m.find_first_not_of(char('a' + id), prefix.size()), std::string::npos)
            << "garbled: " << prefix;
        perClient[id].push_back(seq);
    }
    ASSERT_EQ(perClient.size(), size_t(kClients));
    std::vector<int> expected(kMessagesEach);
    for (int i = 0; i < kMessagesEach; ++i) expected[size_t(i)] = i;
    for (auto& [id, seqs] : perClient) EXPECT_EQ(seqs, expected) << "client " << id;
}

}  // namespace
}  // namespace qr::test
