#include "bench/support/Load.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <thread>

namespace qrbench {

namespace {

constexpr size_t kBatchBytes = 64 * 1024;
// Undelivered messages the clients may have out at once follow the
// delivery rate: enough for this long of forwarding, so that the program
// never waits for input while a finished run drains quickly; at least a few
// per client, and never more bytes than kWindowBytes.
constexpr double kWindowSeconds = 0.2;
constexpr uint64_t kWindowBytes = 4 * 1024 * 1024;
constexpr uint64_t kMinPerClient = 8;
constexpr auto kRateStep = 100ms;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

}  // namespace

TMessageMaker::TMessageMaker(size_t size) : FTemplate(MakeMessage(size, 0, 0) + '\f') {}

void TMessageMaker::Append(std::string& out, uint32_t sender, uint32_t seq) const {
    size_t at = out.size();
    out += FTemplate;
    FormatMessage(out.data() + at, kHeaderSize, sender, seq);
}

int ConnectLoopback(int port, std::chrono::milliseconds timeout) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return -1;
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        if (errno != EINPROGRESS) {
            close(fd);
            return -1;
        }
        pollfd p{fd, POLLOUT, 0};
        int err = 0;
        socklen_t len = sizeof err;
        if (poll(&p, 1, int(timeout.count())) != 1 || getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0 ||
            err != 0) {
            close(fd);
            return -1;
        }
    }
    return fd;
}

bool SendAll(int fd, const std::string& bytes, std::chrono::milliseconds timeout) {
    auto end = Clock::now() + timeout;
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += size_t(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
        if (left.count() <= 0) return false;
        pollfd p{fd, POLLOUT, 0};
        poll(&p, 1, int(std::min<long>(left.count(), 100)));
    }
    return true;
}

void CloseAll(std::vector<int>& fds) {
    for (int fd : fds)
        if (fd >= 0) close(fd);
    fds.clear();
}

std::vector<int> OpenClients(int port, int count, size_t size, uint32_t firstSender, IReader& reader,
                             int unaccepted, std::chrono::milliseconds timeout, double& seconds) {
    TMessageMaker maker(size);
    std::vector<int> fds;
    auto start = Clock::now(), end = start + timeout;
    try {
        for (int i = 0; i < count; ++i) {
            if (int64_t(fds.size()) - int64_t(reader.Delivered()) >= unaccepted) {
                auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
                if (!reader.WaitDelivered(fds.size() - uint64_t(unaccepted) + 1, std::max(left, 0ms)))
                    throw std::runtime_error("connection " + std::to_string(i) + " was not served in time");
            }
            int fd = ConnectLoopback(port, 10s);
            if (fd < 0) throw std::runtime_error("connection " + std::to_string(i) + " failed");
            fds.push_back(fd);
            std::string first;
            maker.Append(first, firstSender + uint32_t(i), 0);
            if (!SendAll(fd, first, 10s)) throw std::runtime_error("send on connection " + std::to_string(i));
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
        if (!reader.WaitDelivered(uint64_t(count), std::max(left, 0ms)))
            throw std::runtime_error("not every connection was served in time");
    } catch (...) {
        CloseAll(fds);
        throw;
    }
    seconds = Seconds(Clock::now() - start);
    return fds;
}

TLoadSession::TLoadSession(const TLoadPlan& plan, IReader& reader)
    : FPlan(plan), FReader(reader), FMaker(plan.Size) {
    const size_t wire = FMaker.WireSize();
    FMinWindow = std::max<uint64_t>(uint64_t(plan.Clients) * kMinPerClient, 64);
    FMaxWindow = std::max<uint64_t>(FMinWindow, kWindowBytes / wire);
    FReader.Reset();
    FReader.SetPush(1);
    try {
        FFds = OpenClients(plan.Port, plan.Clients, plan.Size, 0, reader, 12, 60s, FResult.ConnectSeconds);
    } catch (const std::exception& e) {
        FResult.Error = e.what();
        return;
    }
    FConns.resize(size_t(plan.Clients));
    // Message 0 of every connection went out while connecting.
    for (TConn& c : FConns) c.BytesSent = wire, c.NextSeq = 1;
    FGenerated = FDelivered = uint64_t(plan.Clients);
    SetWindow(FMinWindow);
}

TLoadSession::~TLoadSession() { CloseAll(FFds); }

void TLoadSession::SetWindow(uint64_t w) {
    FWindow = std::clamp(w, FMinWindow, FMaxWindow);
    FReader.SetPush(std::max<uint64_t>(1, FWindow / 8));
}

bool TLoadSession::Slice(double seconds) {
    if (!FResult.Error.empty()) return false;
    const size_t wire = FMaker.WireSize();
    const uint64_t n = uint64_t(FConns.size());
    auto start = Clock::now(),
         stop = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    auto snapshotAt = start + (stop - start) / 10;
    bool haveSnapshot = false;
    TReaderReport snapshot;
    std::vector<pollfd> polls;
    std::vector<size_t> polled;
    auto rateFrom = start;
    uint64_t rateBase = FDelivered;
    while (Clock::now() < stop) {
        auto now = Clock::now();
        if (!haveSnapshot && now >= snapshotAt) {
            snapshot = FReader.Report();
            haveSnapshot = true;
        }
        FDelivered = std::max(FDelivered, FReader.Delivered());
        if (now - rateFrom >= kRateStep) {
            double rate =
                double(FDelivered - rateBase) / std::chrono::duration<double>(now - rateFrom).count();
            uint64_t want = uint64_t(rate * kWindowSeconds);
            // Only a clear change is worth telling the reader about.
            if (want > FWindow + FWindow / 2 || want < FWindow - FWindow / 3) SetWindow(want);
            rateFrom = now;
            rateBase = FDelivered;
        }
        const uint64_t batch = std::max<uint64_t>(1, std::min<uint64_t>(kBatchBytes / wire, FWindow / n));
        polls.clear();
        polled.clear();
        for (size_t i = 0; i < FConns.size(); ++i) {
            TConn& c = FConns[i];
            if (c.Offset == c.Pending.size() && FGenerated - FDelivered < FWindow) {
                uint64_t k = std::min<uint64_t>(batch, FWindow - (FGenerated - FDelivered));
                c.Pending.clear();
                c.Offset = 0;
                for (uint64_t j = 0; j < k; ++j) FMaker.Append(c.Pending, uint32_t(i), c.NextSeq++);
                FGenerated += k;
            }
            if (c.Offset < c.Pending.size()) {
                polls.push_back({FFds[i], POLLOUT, 0});
                polled.push_back(i);
            }
        }
        polls.push_back({FReader.NotifyFd(), POLLIN, 0});
        if (poll(polls.data(), polls.size(), 5) <= 0) continue;
        for (size_t k = 0; k < polled.size(); ++k) {
            if (!(polls[k].revents & (POLLOUT | POLLERR | POLLHUP))) continue;
            TConn& c = FConns[polled[k]];
            ssize_t sent = send(FFds[polled[k]], c.Pending.data() + c.Offset, c.Pending.size() - c.Offset,
                                MSG_NOSIGNAL | MSG_DONTWAIT);
            if (sent > 0) {
                c.Offset += size_t(sent);
                c.BytesSent += uint64_t(sent);
            } else if (sent < 0 && errno != EAGAIN && errno != EINTR) {
                FResult.Error = "send failed on connection " + std::to_string(polled[k]);
                return false;
            }
        }
    }
    // Every started message is finished, so that the count of messages sent
    // is exact; the rest of each batch is never sent, and the next slice
    // goes on with the number after the last message sent.
    uint64_t sent = 0;
    for (size_t i = 0; i < FConns.size(); ++i) {
        TConn& c = FConns[i];
        size_t partial = size_t(c.BytesSent % wire);
        if (partial != 0) {
            std::string rest = c.Pending.substr(c.Offset, wire - partial);
            if (!SendAll(FFds[i], rest, 10s)) {
                FResult.Error = "could not finish a message on connection " + std::to_string(i);
                return false;
            }
            c.BytesSent += rest.size();
        }
        c.Pending.clear();
        c.Offset = 0;
        c.NextSeq = uint32_t(c.BytesSent / wire);
        sent += c.BytesSent / wire;
    }
    FResult.Sent = FGenerated = sent;

    TReaderReport last;
    auto drainEnd = Clock::now() + FPlan.DrainTimeout;
    for (;;) {
        last = FReader.Report();
        if (last.Count >= sent || Clock::now() >= drainEnd) break;
        std::this_thread::sleep_for(10ms);
    }
    FDelivered = last.Count;
    FResult.Delivered = last.Count;
    FResult.Bad = last.Bad;
    FResult.Foreign = last.Foreign;
    if (last.Count != sent) {
        FResult.Error = std::to_string(sent - std::min(sent, last.Count)) +
                        " messages did not arrive within the drain time";
        return false;
    }
    if (!haveSnapshot) return true;  // too short to measure
    double us = double(last.LastUs - snapshot.LastUs);
    if (us > 0 && last.Count > snapshot.Count) {
        FMeasuredSeconds += us / 1e6;
        FMeasuredMessages += double(last.Count - snapshot.Count);
        FMeasuredBytes += double(last.Bytes - snapshot.Bytes);
        FResult.SliceRates.push_back(double(last.Count - snapshot.Count) * 1e6 / us);
    }
    return true;
}

TLoadResult TLoadSession::Finish() {
    CloseAll(FFds);
    FReader.SetPush(0);
    if (FResult.Delivered != FResult.Sent || !FResult.Error.empty()) {
        // What is still on its way would count against the next run: wait
        // until nothing more arrives for a while.
        uint64_t seen = FReader.Report().Count, before = seen;
        auto quietEnd = Clock::now() + 60s;
        for (auto still = Clock::now(); Clock::now() < quietEnd && Clock::now() - still < 500ms;) {
            std::this_thread::sleep_for(100ms);
            uint64_t now = FReader.Report().Count;
            if (now != seen) seen = now, still = Clock::now();
        }
        FResult.Late = seen - before;
    }
    FResult.Drained = FResult.Delivered == FResult.Sent;
    FResult.SecondsMeasured = FMeasuredSeconds;
    if (FMeasuredSeconds > 0) {
        FResult.MsgPerSec = FMeasuredMessages / FMeasuredSeconds;
        FResult.MBPerSec = FMeasuredBytes / FMeasuredSeconds / 1e6;
    }
    return FResult;
}

TLatencyResult RunLatency(int port, size_t size, int rounds, IReader& reader) {
    TLatencyResult result;
    TMessageMaker maker(size);
    reader.Reset();
    reader.SetPush(1);
    int fd = ConnectLoopback(port, 10s);
    if (fd < 0) {
        result.Error = "cannot connect";
        return result;
    }
    result.RoundUs.reserve(size_t(rounds));
    std::string m;
    // Round 0 only gets the connection accepted and its thread running.
    for (int r = 0; r <= rounds; ++r) {
        m.clear();
        maker.Append(m, 0, uint32_t(r));
        auto t0 = Clock::now();
        if (!SendAll(fd, m, 10s)) {
            result.Error = "send failed";
            break;
        }
        if (!reader.WaitDelivered(uint64_t(r) + 1, 10s)) {
            result.Error = "message " + std::to_string(r) + " did not arrive within 10 s";
            break;
        }
        if (r > 0)
            result.RoundUs.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    close(fd);
    reader.SetPush(0);
    result.Bad = reader.Report().Bad;
    return result;
}

}  // namespace qrbench
