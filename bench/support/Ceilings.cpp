#include "bench/support/Ceilings.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <thread>

#include "bench/support/Load.h"

namespace qrbench {

namespace {

constexpr size_t kRecvSize = 32768;  // what one receive of the program takes

double Us(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

// A listening socket on 127.0.0.1 with a port of the system's choice.
int ListenLoopback(int& port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd, 4) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        if (fd >= 0) close(fd);
        return -1;
    }
    port = ntohs(a.sin_port);
    return fd;
}

// accept() bounded in time.
int AcceptWithin(int listener, int timeoutMs) {
    pollfd p{listener, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) != 1) return -1;
    return accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
}

// One TCP connection over loopback: `serve` runs on a thread of its own
// with the accepted socket, `drive` on this thread with the connecting one
// (-1 when no connection came about). Both sockets are closed afterwards,
// the driving one first. False when no listener could be set up.
bool OverLoopback(const std::function<void(int)>& serve, const std::function<void(int)>& drive) {
    int port = 0;
    int listener = ListenLoopback(port);
    if (listener < 0) return false;
    std::thread server([&] {
        int fd = AcceptWithin(listener, 10000);
        if (fd < 0) return;
        serve(fd);
        close(fd);
    });
    int fd = ConnectLoopback(port, std::chrono::milliseconds(10000));
    drive(fd);
    if (fd >= 0) close(fd);
    server.join();
    close(listener);
    return true;
}

void Finish(TLoopResult& r, std::vector<double>& us) {
    std::sort(us.begin(), us.end());
    r.Rounds = us.size();
    if (us.empty()) return;
    r.P50Us = Percentile(us, 0.50);
    r.P99Us = Percentile(us, 0.99);
    r.MaxUs = us.back();
}

}  // namespace

double Percentile(const std::vector<double>& sorted, double p) {
    if (sorted.empty()) return 0;
    return sorted[std::min(sorted.size() - 1, size_t(p * double(sorted.size())))];
}

TLoopResult TcpThroughput(size_t size, double seconds) {
    TLoopResult r;
    r.Size = size;
    std::atomic<uint64_t> messages{0};
    Clock::time_point first{}, last{};
    auto receive = [&](int fd) {
        std::vector<char> buf(kRecvSize);
        uint64_t count = 0;
        bool started = false;
        for (;;) {
            // Bounded: the sender closes after `seconds`; a stalled sender
            // ends the wait after 10 s.
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 10000) != 1) break;
            ssize_t n = recv(fd, buf.data(), buf.size(), 0);
            if (n <= 0) break;
            if (!started) first = Clock::now(), started = true;
            for (const char *q = buf.data(), *e = q + n;
                 (q = static_cast<const char*>(memchr(q, '\f', size_t(e - q)))); ++q)
                ++count;
            last = Clock::now();
        }
        messages = count;
    };
    auto send = [&](int fd) {
        if (fd < 0) {
            r.Error = "cannot connect";
            return;
        }
        TMessageMaker maker(size);
        std::string batch;
        uint32_t seq = 0;
        auto end = Clock::now() +
                   std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
        while (Clock::now() < end) {
            batch.clear();
            while (batch.size() < 65536) maker.Append(batch, 0, seq++);
            if (!SendAll(fd, batch, std::chrono::milliseconds(10000))) break;
        }
    };
    if (!OverLoopback(receive, send)) {
        r.Error = "cannot listen";
        return r;
    }
    double s = std::chrono::duration<double>(last - first).count();
    if (s > 0) {
        r.MsgPerSec = double(messages) / s;
        r.MBPerSec = r.MsgPerSec * double(size) / 1e6;
    }
    r.Rounds = messages;
    return r;
}

TLoopResult TcpRoundTrip(size_t size, int rounds) {
    TLoopResult r;
    r.Size = size;
    auto echo = [](int fd) {
        int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        std::vector<char> buf(kRecvSize);
        for (;;) {
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 10000) != 1) break;
            ssize_t n = recv(fd, buf.data(), buf.size(), 0);
            if (n <= 0) break;
            if (buf[size_t(n) - 1] == '\f' && send(fd, "k", 1, MSG_NOSIGNAL) != 1) break;
        }
    };
    std::vector<double> us;
    auto time = [&](int fd) {
        if (fd < 0) return;
        TMessageMaker maker(size);
        std::string m;
        for (int i = 0; i < rounds; ++i) {
            m.clear();
            maker.Append(m, 0, uint32_t(i));
            auto t0 = Clock::now();
            if (!SendAll(fd, m, std::chrono::milliseconds(10000))) break;
            pollfd p{fd, POLLIN, 0};
            char c;
            if (poll(&p, 1, 10000) != 1 || recv(fd, &c, 1, 0) != 1) break;
            us.push_back(Us(Clock::now() - t0));
        }
    };
    if (!OverLoopback(echo, time)) {
        r.Error = "cannot listen";
        return r;
    }
    if (int(us.size()) < rounds) r.Error = "round trips stopped early";
    Finish(r, us);
    return r;
}

TLoopResult DatagramLoop(const std::string& dir, size_t size, int rounds, double maxSeconds) {
    TLoopResult r;
    r.Size = size;
    std::string path = dir + "/bench-loop-" + std::to_string(getpid());
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) {
        r.Error = "path too long";
        return r;
    }
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    unlink(path.c_str());
    int in = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    int out = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (in < 0 || out < 0 || bind(in, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        connect(out, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        r.Error = "cannot set up the datagram socket";
    } else {
        TStreamCheck check;
        std::string m = MakeMessage(size, 0, 0);
        std::vector<char> buf(size + 4096);
        std::vector<double> us;
        Clock::duration writing{};
        auto start = Clock::now(), limit = start + std::chrono::duration_cast<Clock::duration>(
                                                       std::chrono::duration<double>(maxSeconds));
        for (int i = 0; i < rounds && Clock::now() < limit; ++i) {
            FormatMessage(m.data(), size, 0, uint32_t(i));
            auto t0 = Clock::now();
            if (send(out, m.data(), m.size(), MSG_NOSIGNAL) != ssize_t(m.size())) {
                r.Error = "send failed";
                break;
            }
            auto t1 = Clock::now();
            ssize_t n = recv(in, buf.data(), buf.size(), 0);
            if (n < 0) {
                r.Error = "recv failed";
                break;
            }
            auto t2 = Clock::now();
            check.Take(buf.data(), size_t(n));
            writing += t1 - t0;
            us.push_back(Us(t2 - t0));
        }
        double total = std::chrono::duration<double>(Clock::now() - start).count();
        double roundSum = 0;
        for (double u : us) roundSum += u;
        r.Bad = check.Bad;
        if (total > 0) {
            r.MsgPerSec = double(us.size()) / total;
            r.MBPerSec = r.MsgPerSec * double(size) / 1e6;
        }
        if (roundSum > 0) r.WriteShare = Us(writing) / roundSum;
        Finish(r, us);
    }
    if (in >= 0) close(in);
    if (out >= 0) close(out);
    unlink(path.c_str());
    return r;
}

}  // namespace qrbench
