#include "bench/support/Hostile.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <stdexcept>
#include <thread>
#include <vector>

#include "bench/support/Load.h"
#include "bench/support/Probes.h"

namespace qrbench {

namespace {

constexpr auto kSlowByteEvery = 50ms;
constexpr int kChurnUnaccepted = 12;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// CPU seconds per second of each process over `seconds` of doing nothing.
void IdleCpu(pid_t program, pid_t wineserver, double seconds, double& programShare, double& serverShare) {
    double p0 = CpuSeconds(program), w0 = wineserver > 0 ? CpuSeconds(wineserver) : -1;
    auto t0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    double elapsed = Seconds(Clock::now() - t0);
    double p1 = CpuSeconds(program), w1 = wineserver > 0 ? CpuSeconds(wineserver) : -1;
    if (p0 >= 0 && p1 >= 0) programShare = (p1 - p0) / elapsed;
    if (w0 >= 0 && w1 >= 0) serverShare = (w1 - w0) / elapsed;
}

// One message from a new connection (connecting again while refused or
// timed out), until the reader counts `count`; milliseconds, or -1 after
// `timeout`.
double FreshMessage(int port, IReader& reader, uint32_t sender, uint64_t count,
                    std::chrono::seconds timeout) {
    auto start = Clock::now(), end = start + timeout;
    TMessageMaker maker(16);
    std::string m;
    maker.Append(m, sender, 0);
    int fd = -1;
    while (fd < 0 && Clock::now() < end) fd = ConnectLoopback(port, 5s);
    if (fd < 0) return -1;
    bool ok = SendAll(fd, m, 10s) &&
              reader.WaitDelivered(count, std::chrono::duration_cast<std::chrono::milliseconds>(
                                              std::max(end - Clock::now(), Clock::duration::zero())));
    double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    close(fd);
    return ok ? ms : -1;
}

// Sends one byte that ends no message on each connection every 50 ms until
// stopped.
class TSlowSenders {
public:
    explicit TSlowSenders(std::vector<int>& fds) : FFds(fds), FThread([this] { Run(); }) {}
    ~TSlowSenders() {
        FStop.store(true);
        FThread.join();
    }

private:
    void Run() {
        while (!FStop.load()) {
            auto next = Clock::now() + kSlowByteEvery;
            for (int fd : FFds) send(fd, "x", 1, MSG_NOSIGNAL | MSG_DONTWAIT);
            std::this_thread::sleep_until(next);
        }
    }
    std::vector<int>& FFds;
    std::atomic<bool> FStop{false};
    std::thread FThread;
};

// Accepts connections on 127.0.0.1:port, reads each to its end and counts
// the message ends it saw.
class TChurnAcceptor {
public:
    explicit TChurnAcceptor(int port) {
        FListen = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int one = 1;
        setsockopt(FListen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(uint16_t(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (FListen < 0 || bind(FListen, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            listen(FListen, 15) != 0) {
            if (FListen >= 0) close(FListen);
            throw std::runtime_error("churn acceptor: cannot listen");
        }
        FThread = std::thread([this] { Run(); });
    }
    ~TChurnAcceptor() {
        FStop.store(true);
        FThread.join();
        close(FListen);
    }
    uint64_t Count() const { return FCount.load(); }

private:
    void Run() {
        char buffer[4096];
        while (!FStop.load()) {
            pollfd p{FListen, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0) continue;
            int fd = accept4(FListen, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) continue;
            for (;;) {
                pollfd q{fd, POLLIN, 0};
                if (poll(&q, 1, 2000) <= 0) break;
                ssize_t n = recv(fd, buffer, sizeof buffer, 0);
                if (n <= 0) break;
                if (buffer[n - 1] == '\f') FCount.fetch_add(1);
            }
            close(fd);
        }
    }
    int FListen = -1;
    std::atomic<bool> FStop{false};
    std::atomic<uint64_t> FCount{0};
    std::thread FThread;
};

// The churn loop; `delivered` tells how many messages arrived so far.
double ChurnLoop(int port, double seconds, const std::function<uint64_t()>& delivered, uint64_t& cycles,
                 uint64_t& arrived, std::string& error) {
    TMessageMaker maker(16);
    auto start = Clock::now(),
         stop = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    cycles = 0;
    std::string m;
    while (Clock::now() < stop) {
        while (cycles >= delivered() + uint64_t(kChurnUnaccepted) && Clock::now() < stop)
            std::this_thread::sleep_for(200us);
        if (Clock::now() >= stop) break;
        int fd = ConnectLoopback(port, 10s);
        if (fd < 0) {
            error = "connection " + std::to_string(cycles) + " failed";
            break;
        }
        m.clear();
        maker.Append(m, uint32_t(cycles % kMaxSenders), uint32_t(cycles / kMaxSenders));
        bool sent = SendAll(fd, m, 10s);
        close(fd);
        if (!sent) {
            error = "send on connection " + std::to_string(cycles) + " failed";
            break;
        }
        ++cycles;
    }
    auto drainEnd = Clock::now() + 30s;
    while (delivered() < cycles && Clock::now() < drainEnd) std::this_thread::sleep_for(1ms);
    arrived = delivered();
    if (arrived < cycles && error.empty())
        error = std::to_string(cycles - arrived) + " messages did not arrive within 30 s";
    return double(arrived) / Seconds(Clock::now() - start);
}

}  // namespace

TSlowClientsResult RunSlowClients(int port, IReader& reader, int slow, int fast, int slices, double seconds) {
    TSlowClientsResult r;
    r.SlowClients = slow;
    r.FastClients = fast;
    TLoadPlan plan;
    plan.Port = port;
    plan.Clients = fast;
    plan.Size = 16;
    auto measure = [&](double& rate) {
        TLoadSession session(plan, reader);
        for (int k = 0; k < slices; ++k)
            if (!session.Slice(seconds)) break;
        TLoadResult l = session.Finish();
        rate = l.MsgPerSec;
        r.Sent += l.Sent;
        r.Delivered += l.Delivered;
        r.Bad += l.Bad + l.Foreign;
        if (!l.Error.empty() && r.Error.empty()) r.Error = l.Error;
    };
    measure(r.AloneMsgPerSec);
    std::vector<int> fds;
    for (int i = 0; i < slow; ++i) {
        // Paced below the program's accept rate, so that the listen queue
        // does not overflow and no connection waits for a SYN retry.
        int fd = ConnectLoopback(port, 10s);
        if (fd < 0) {
            r.Error = "slow connection " + std::to_string(i) + " failed";
            CloseAll(fds);
            return r;
        }
        fds.push_back(fd);
        std::this_thread::sleep_for(5ms);
    }
    {
        TSlowSenders senders(fds);
        std::this_thread::sleep_for(1s);
        measure(r.BesideMsgPerSec);
    }
    CloseAll(fds);
    return r;
}

TMassCloseResult RunMassClose(int port, IReader& reader, pid_t program, pid_t wineserver, int connections,
                              double idleSeconds, long idleThreads) {
    TMassCloseResult r;
    r.Connections = connections;
    r.IdleSeconds = idleSeconds;
    reader.Reset();
    reader.SetPush(1);
    IdleCpu(program, wineserver, idleSeconds, r.CpuProgramBefore, r.CpuWineserverBefore);
    r.FreshMessageMs = FreshMessage(port, reader, 0, 1, 30s);
    std::vector<int> fds;
    try {
        fds = OpenClients(port, connections, 16, 1, reader, 12, 600s, r.ConnectSeconds);
    } catch (const std::exception& e) {
        r.Error = e.what();
        reader.SetPush(0);
        return r;
    }
    std::this_thread::sleep_for(1s);
    IdleCpu(program, wineserver, idleSeconds, r.CpuProgramIdle, r.CpuWineserverIdle);
    auto closed = Clock::now();
    CloseAll(fds);
    r.AfterCloseMs = FreshMessage(port, reader, uint32_t(connections) + 1, uint64_t(connections) + 2, 300s);
    if (r.AfterCloseMs < 0) r.Error = "no message was served within 300 s of the close";
    // Beside the prepared ones, the listeners and the main thread.
    if (WaitForThreads(program, idleThreads + 2, 300s) >= 0)
        r.ThreadsGoneSeconds = Seconds(Clock::now() - closed);
    r.Bad = reader.Report().Bad;
    reader.SetPush(0);
    return r;
}

TChurnResult RunChurn(int port, int ceilingPort, IReader& reader, double seconds) {
    TChurnResult r;
    r.Seconds = seconds;
    {
        TChurnAcceptor acceptor(ceilingPort);
        uint64_t cycles = 0, arrived = 0;
        std::string error;
        r.CeilingCyclesPerSec = ChurnLoop(
            ceilingPort, seconds, [&] { return acceptor.Count(); }, cycles, arrived, error);
        if (!error.empty()) r.Error = "ceiling: " + error;
    }
    reader.Reset();
    reader.SetPush(1);
    std::string error;
    r.CyclesPerSec = ChurnLoop(
        port, seconds, [&] { return reader.Delivered(); }, r.Cycles, r.Delivered, error);
    if (!error.empty()) r.Error = error;
    r.Bad = reader.Report().Bad;
    reader.SetPush(0);
    return r;
}

}  // namespace qrbench
