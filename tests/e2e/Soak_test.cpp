// Soak: the real program under Wine with many clients at once, each sending
// a long stream of self-identifying messages of random sizes in random
// writes and ending in one of several ways. Every complete message must
// reach the mailslot exactly once, whole and in its client's order; nothing
// of an unfinished message or from after a "quit" may; the program must
// serve new clients afterwards and give back its threads and memory.
//
// The data follows from one seed, printed with every failure; set
// QR_SOAK_SEED to replay a run's data.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <sstream>
#include <thread>

#include "e2e/Harness.h"
#include "e2e/SoakLog.h"
#include "e2e/SoakTraffic.h"

using namespace e2e;
using namespace e2e::soak;

namespace {

constexpr int kMessagesPerClient = 1000;
constexpr auto kBudget = std::chrono::minutes(15);   // the whole test, whatever happens
constexpr auto kSilence = std::chrono::seconds(90);  // the longest pause in forwarding taken for slowness
constexpr uint64_t kMemorySlack = 24ull << 20;       // allocator caches, not traffic kept

// Clients that are no part of the soak itself.
constexpr int kAbsentFirst = 0xE0, kAbsentClients = 4, kAbsentMessages = 150;
constexpr int kGoneFirst = 0xE8, kGoneClients = 4, kGoneMessages = 150;
constexpr int kWarmUp = 0xF1, kMarker = 0xF2, kBack = 0xF3;

struct TStats {
    long Threads = -1;
    uint64_t Private = 0, WorkingSet = 0;
};

std::optional<TStats> Stats() {
    int code = -1;
    std::string out = Poke({"stats"}, &code);
    TStats s;
    unsigned long long priv = 0, ws = 0;
    const char* at = std::strstr(out.c_str(), "threads=");
    if (code != 0 || !at ||
        std::sscanf(at, "threads=%ld private=%llu workingset=%llu", &s.Threads, &priv, &ws) != 3)
        return std::nullopt;
    s.Private = priv;
    s.WorkingSet = ws;
    return s;
}

// Samples until the thread count is at most `threads` (bounded); the last sample.
std::optional<TStats> StatsOnceThreadsAtMost(long threads, std::chrono::seconds timeout) {
    std::optional<TStats> s;
    for (auto end = Clock::now() + timeout; Clock::now() < end; std::this_thread::sleep_for(500ms)) {
        s = Stats();
        if (s && s->Threads <= threads) break;
    }
    return s;
}

std::string Describe(const std::optional<TStats>& s) {
    if (!s) return "(no stats)";
    char buf[128];
    std::snprintf(buf, sizeof buf, "%ld threads, %.1f MiB private, %.1f MiB working set", s->Threads,
                  double(s->Private) / 1048576, double(s->WorkingSet) / 1048576);
    return buf;
}

uint64_t RunSeed() {
    if (const char* e = std::getenv("QR_SOAK_SEED")) return std::strtoull(e, nullptr, 0);
    return uint64_t(std::chrono::system_clock::now().time_since_epoch().count());
}

// 52 clients: most end in an orderly way, the others close or reset in the
// middle of a message, quit and send more, or send one byte at a time.
std::vector<TClientPlan> Roster() {
    std::vector<TClientPlan> plans;
    auto add = [&](TEnding ending, bool slow) {
        TClientPlan p;
        p.Id = int(plans.size());
        p.Ending = ending;
        p.Slow = slow;
        p.IPv6 = p.Id % 2 == 1;
        p.Complete = kMessagesPerClient;
        p.Sizes = slow ? TSizes::Short : TSizes::Mixed;
        plans.push_back(p);
    };
    for (int i = 0; i < 30; ++i) add(TEnding::Close, false);
    for (int i = 0; i < 6; ++i) add(TEnding::CloseMidMessage, false);
    for (int i = 0; i < 3; ++i) add(TEnding::ResetMidMessage, false);
    for (int i = 0; i < 3; ++i) add(TEnding::ResetAbruptly, false);
    for (int i = 0; i < 6; ++i) add(TEnding::Quit, false);
    add(TEnding::Close, true);
    add(TEnding::Close, true);
    add(TEnding::CloseMidMessage, true);
    add(TEnding::Quit, true);
    int pattern = 0;
    for (TClientPlan& p : plans) {
        if (p.Ending != TEnding::Quit) continue;
        // Every spelling differs, from "quit" on to "QUIT".
        p.QuitPattern = pattern == 0 ? 0 : pattern == 1 ? 15 : pattern;
        p.AfterQuit = 20 + 7 * pattern;
        ++pattern;
    }
    return plans;
}

// What must arrive of one client: its non-empty complete messages in
// order, then its "quit" if it sends one.
struct TExpected {
    std::vector<int> Seqs;
    size_t Empty = 0;  // empty complete messages, which carry no identity
    bool PrefixOnly = false;
};

TExpected Expected(uint64_t seed, const TClientPlan& p) {
    TExpected e;
    for (int s = 0; s < p.Complete; ++s) {
        if (Message(seed, p.Id, s, p.Sizes).empty())
            ++e.Empty;
        else
            e.Seqs.push_back(s);
    }
    if (p.Ending == TEnding::Quit) e.Seqs.push_back(kQuitArrived);
    // A reset may discard what is still in flight: what arrived must be a
    // prefix of what was sent.
    e.PrefixOnly = p.Ending == TEnding::ResetAbruptly;
    return e;
}

std::string Name(int seq) { return seq == kQuitArrived ? std::string("quit") : "#" + std::to_string(seq); }

// Empty when `got` is right.
std::string Compare(const TExpected& want, const std::vector<int>& got) {
    size_t i = 0;
    while (i < got.size() && i < want.Seqs.size() && got[i] == want.Seqs[i]) ++i;
    if (i == got.size() && (i == want.Seqs.size() || want.PrefixOnly)) return {};
    std::ostringstream s;
    s << got.size() << " messages arrived, " << want.Seqs.size() << " expected";
    if (i < got.size() && i < want.Seqs.size())
        s << "; arrival " << i << " is " << Name(got[i]) << " instead of " << Name(want.Seqs[i]);
    else if (i < got.size())
        s << "; after the last expected one came " << Name(got[i]);
    else
        s << "; missing from " << Name(want.Seqs[i]) << " on";
    return s.str();
}

// Sends the bytes in one connection and closes it; what went wrong, if anything.
std::string SendBytes(const std::string& host, const std::string& bytes) {
    try {
        TClient c(host, kPort);
        c.Send(bytes);
        return {};
    } catch (const std::exception& e) {
        return e.what();
    }
}

// Sends `count` messages of `client` in one connection and closes it.
std::string SendSmall(int client, int count, uint64_t seed, TSizes sizes) {
    std::string all;
    for (int s = 0; s < count; ++s) all += Message(seed, client, s, sizes) + '\f';
    return SendBytes(client % 2 ? "::1" : "127.0.0.1", all);
}

}  // namespace

TEST(Soak, ManyClientsAtOnceEveryCompleteMessageArrivesOnceInOrderAndResourcesReturn) {
    const uint64_t seed = RunSeed();
    SCOPED_TRACE("soak seed " + std::to_string(seed) + " (QR_SOAK_SEED replays it)");
    std::printf("[ soak     ] seed %" PRIu64 "\n", seed);
    const auto begin = Clock::now();
    const auto deadline = begin + kBudget;
    auto seconds = [&] { return std::chrono::duration<double>(Clock::now() - begin).count(); };

    const std::vector<TClientPlan> plans = Roster();
    std::map<int, TSizes> sizesOf;
    std::map<int, int> quitClientOf;
    for (const TClientPlan& p : plans) {
        sizesOf[p.Id] = p.Sizes;
        if (p.Ending == TEnding::Quit) quitClientOf[p.QuitPattern] = p.Id;
    }
    for (int k = 0; k < kAbsentClients; ++k) sizesOf[kAbsentFirst + k] = TSizes::Mixed;
    for (int k = 0; k < kGoneClients; ++k) sizesOf[kGoneFirst + k] = TSizes::Mixed;
    sizesOf[kWarmUp] = sizesOf[kMarker] = sizesOf[kBack] = TSizes::NonEmpty;

    // The presentation program is not running yet: the mailslot is absent
    // and every message is dropped. (Its ending and coming back while this
    // program runs is played at the end.)
    TProgram program;
    auto idle = Stats();
    ASSERT_TRUE(idle) << "quellora-poke stats gives no numbers";
    {
        std::vector<std::string> faults(kAbsentClients);
        std::vector<std::thread> absent;
        for (int k = 0; k < kAbsentClients; ++k)
            absent.emplace_back([&, k] {
                faults[size_t(k)] = SendSmall(kAbsentFirst + k, kAbsentMessages, seed, TSizes::Mixed);
            });
        for (std::thread& t : absent) t.join();
        for (const std::string& f : faults) EXPECT_EQ(f, "");
    }
    // Once the connection threads are gone, every message they read has
    // been handed to the main thread and dropped there.
    auto afterAbsent = StatsOnceThreadsAtMost(idle->Threads, 60s);
    ASSERT_TRUE(afterAbsent && afterAbsent->Threads <= idle->Threads)
        << "connection threads stay after their clients left: idle " << Describe(idle) << ", now "
        << Describe(afterAbsent);
    // The memo still follows the messages; this one must never reach the
    // mailslot either (the log checker takes it for foreign bytes).
    const std::string unheard = "nobody listens yet";
    ASSERT_EQ(SendBytes("127.0.0.1", unheard + "\f"), "");
    std::string memo;
    for (auto end = Clock::now() + 30s; Clock::now() < end && memo != unheard + "\n";
         std::this_thread::sleep_for(200ms))
        memo = Poke({"get", "Memo1"});
    EXPECT_EQ(memo, unheard + "\n")
        << "the memo does not show the message sent while the mailslot was absent";

    TMonitor monitor;
    TLogTail tail(
        monitor.Log.Path(),
        [&](int client, int seq) -> std::optional<std::string> {
            auto it = sizesOf.find(client);
            if (it == sizesOf.end()) return std::nullopt;
            return Message(seed, client, seq, it->second);
        },
        quitClientOf);
    ASSERT_EQ(SendSmall(kWarmUp, 20, seed, TSizes::NonEmpty), "");
    ASSERT_TRUE(tail.WaitArrived(kWarmUp, 20, 30s)) << "nothing forwarded once the mailslot exists";
    auto baseline = StatsOnceThreadsAtMost(idle->Threads, 60s);
    ASSERT_TRUE(baseline);
    std::printf("[ soak     ] %.1f s: mailslot present, baseline %s\n", seconds(),
                Describe(baseline).c_str());

    // All clients connect, then all start at once.
    TStartGate gate;
    std::vector<TClientReport> reports(plans.size());
    std::vector<std::thread> clients;
    auto waitArrived = [&](int client, size_t count, std::chrono::milliseconds timeout) {
        return tail.WaitArrived(client, count, timeout);
    };
    // Sending began only once the gate opened.
    std::atomic<bool> started{false};
    Clock::time_point openedAt;
    TStalled stalled = [&] {
        return started && Clock::now() - std::max(tail.LastArrival(), openedAt) > kSilence;
    };
    for (size_t i = 0; i < plans.size(); ++i)
        clients.emplace_back(
            [&, i] { RunClient(plans[i], seed, kPort, gate, waitArrived, stalled, deadline, reports[i]); });
    bool allConnected = gate.WaitAll(int(plans.size()), 120s);
    // The program may still be accepting the last ones.
    std::optional<TStats> peak;
    for (auto end = Clock::now() + 30s; Clock::now() < end; std::this_thread::sleep_for(200ms)) {
        peak = Stats();
        if (peak && peak->Threads >= baseline->Threads + long(plans.size())) break;
    }
    openedAt = Clock::now();
    started = true;
    gate.Open();
    const auto sendingBegan = Clock::now();
    for (std::thread& t : clients) t.join();
    const double sendSeconds = std::chrono::duration<double>(Clock::now() - sendingBegan).count();
    EXPECT_TRUE(allConnected) << "not every client could connect";
    // One thread per live connection: proves the numbers below can show a leak.
    ASSERT_TRUE(peak);
    EXPECT_GE(peak->Threads, baseline->Threads + long(plans.size()))
        << "with " << plans.size() << " clients connected: " << Describe(peak);

    // Wait for what must arrive, as long as forwarding goes on.
    std::vector<TExpected> expected;
    for (const TClientPlan& p : plans) expected.push_back(Expected(seed, p));
    for (size_t i = 0; i < plans.size(); ++i) {
        if (expected[i].PrefixOnly) continue;
        while (!tail.WaitArrived(plans[i].Id, expected[i].Seqs.size(), 1s) &&
               Clock::now() - tail.LastArrival() < kSilence && Clock::now() < deadline) {
        }
    }
    const double forwardSeconds = std::chrono::duration<double>(Clock::now() - sendingBegan).count();

    // Every connection has ended once its thread is gone; nothing more of
    // the soak's clients can come after that.
    auto after = StatsOnceThreadsAtMost(baseline->Threads, 60s);
    ASSERT_TRUE(after);
    EXPECT_LE(after->Threads, baseline->Threads) << "threads stay after every client left: baseline "
                                                 << Describe(baseline) << ", now " << Describe(after);

    // A new client is served, and its messages come after all others.
    EXPECT_EQ(SendSmall(kMarker, 3, seed, TSizes::NonEmpty), "");
    EXPECT_TRUE(tail.WaitArrived(kMarker, 3, 30s)) << "a new client is not served after the soak";

    for (const TClientReport& r : reports)
        for (const std::string& f : r.Faults) ADD_FAILURE() << f;
    const size_t faultsSeen = tail.Faults().size();
    for (const std::string& f : tail.Faults()) ADD_FAILURE() << "forwarded: " << f;

    size_t emptyAtLeast = 0, emptyAtMost = 0, identified = 0, abruptSent = 0, abruptArrived = 0;
    uint64_t bytesSent = 0;
    int writes = 0;
    for (size_t i = 0; i < plans.size(); ++i) {
        std::string diff = Compare(expected[i], tail.Arrived(plans[i].Id));
        EXPECT_TRUE(diff.empty()) << "client " << plans[i].Id << " (" << EndingName(plans[i].Ending)
                                  << (plans[i].Slow ? ", slow" : "") << "): " << diff;
        emptyAtMost += expected[i].Empty;
        if (!expected[i].PrefixOnly) emptyAtLeast += expected[i].Empty;
        identified += expected[i].Seqs.size();
        if (expected[i].PrefixOnly) {
            abruptSent += expected[i].Seqs.size();
            abruptArrived += tail.Arrived(plans[i].Id).size();
        }
        bytesSent += reports[i].BytesSent;
        writes += reports[i].Writes;
    }
    for (int k = 0; k < kAbsentClients; ++k)
        EXPECT_TRUE(tail.Arrived(kAbsentFirst + k).empty())
            << "a message sent while the mailslot was absent arrived later (client " << kAbsentFirst + k
            << ")";
    EXPECT_EQ(tail.Arrived(kWarmUp).size(), 20u);
    EXPECT_EQ(tail.Arrived(kMarker).size(), 3u);
    EXPECT_GE(tail.Empty(), emptyAtLeast) << "empty messages lost";
    EXPECT_LE(tail.Empty(), emptyAtMost) << "more empty messages arrived than were sent";

    // Memory: what the traffic needed must be given back, up to what the
    // allocators keep for reuse.
    auto settled = StatsOnceThreadsAtMost(baseline->Threads, 10s);
    ASSERT_TRUE(settled);
    EXPECT_LE(settled->Private, baseline->Private + kMemorySlack)
        << "private memory did not return: baseline " << Describe(baseline) << ", peak " << Describe(peak)
        << ", after " << Describe(settled);

    std::printf(
        "[ soak     ] %zu clients, %zu messages expected (+%zu-%zu empty), %zu forwarded, %.1f MiB; "
        "%.1f MiB in %d writes\n",
        plans.size(), identified, emptyAtLeast, emptyAtMost, tail.Total(), double(tail.Bytes()) / 1048576,
        double(bytesSent) / 1048576, writes);
    std::printf("[ soak     ] clients that reset abruptly: %zu of %zu complete messages arrived\n",
                abruptArrived, abruptSent);
    std::printf("[ soak     ] sending %.1f s, forwarding done %.1f s after start, whole test %.1f s\n",
                sendSeconds, forwardSeconds, seconds());
    std::printf("[ soak     ] baseline %s; with all clients %s; after %s\n", Describe(baseline).c_str(),
                Describe(peak).c_str(), Describe(settled).c_str());

    // The presentation program ends while the program holds its mailslot,
    // far more is sent than the mailslot's queue holds, and it starts
    // again: the program must have let go of the old mailslot, so that the
    // new one can be created, and forward what comes next.
    monitor.Stop();
    {
        std::vector<std::string> faults(kGoneClients);
        std::vector<std::thread> gone;
        // Each ends with "quit": once the program has closed the connection,
        // every message before it has been handed off.
        for (int k = 0; k < kGoneClients; ++k)
            gone.emplace_back([&, k] {
                std::string all;
                for (int s = 0; s < kGoneMessages; ++s)
                    all += Message(seed, kGoneFirst + k, s, TSizes::Mixed) + '\f';
                try {
                    TClient c(k % 2 ? "::1" : "127.0.0.1", kPort);
                    c.Send(all + "quit\f");
                    if (!c.WaitClosedByPeer(120s)) faults[size_t(k)] = "the connection stays open after quit";
                } catch (const std::exception& e) {
                    faults[size_t(k)] = e.what();
                }
            });
        for (std::thread& t : gone) t.join();
        for (const std::string& f : faults) EXPECT_EQ(f, "");
    }
    auto afterGone = StatsOnceThreadsAtMost(baseline->Threads, 120s);
    ASSERT_TRUE(afterGone && afterGone->Threads <= baseline->Threads)
        << "hand-offs without a reader do not finish: baseline " << Describe(baseline) << ", now "
        << Describe(afterGone);
    monitor.Restart();
    EXPECT_EQ(SendSmall(kBack, 5, seed, TSizes::NonEmpty), "");
    EXPECT_TRUE(tail.WaitArrived(kBack, 5, 30s))
        << "nothing forwarded to the presentation program started again";
    EXPECT_EQ(tail.Arrived(kBack).size(), 5u);
    for (int k = 0; k < kGoneClients; ++k)
        EXPECT_TRUE(tail.Arrived(kGoneFirst + k).empty())
            << "a message sent while the reader was gone reached the new one (client " << kGoneFirst + k
            << ")";
    const std::vector<std::string> faults = tail.Faults();
    for (size_t i = faultsSeen; i < faults.size(); ++i) ADD_FAILURE() << "forwarded: " << faults[i];
    std::printf("[ soak     ] %.1f s: the presentation program ended and came back\n", seconds());

    EXPECT_EQ(program.Close(), std::optional<int>(0));
    // The log is large; it stays for a failure to be looked into.
    if (HasFailure())
        std::printf("[ soak     ] the forwarded messages are in %s\n", monitor.Log.Path().c_str());
    else
        std::remove(monitor.Log.Path().c_str());
}
