#include "e2e/SoakTraffic.h"

#include <linux/sockios.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

namespace e2e::soak {

using namespace std::chrono_literals;

uint64_t TRandom::Next() {
    uint64_t z = (FState += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

uint64_t Mix(uint64_t a, uint64_t b) { return TRandom(a ^ (b * 0xD1B54A32D192ED03ull)).Next(); }

namespace {

size_t DrawSize(TRandom& r, TSizes sizes) {
    uint64_t p = r.Between(0, 999);
    switch (sizes) {
        case TSizes::Mixed:
            if (p < 10) return 0;
            if (p < 20) return kMaxSize;
            if (p < 50) return r.Between(kHeaderSize, kMaxSize);
            if (p < 200) return r.Between(kHeaderSize, 4096);
            return r.Between(kHeaderSize, 256);
        case TSizes::Short:
            if (p < 20) return 0;
            return r.Between(kHeaderSize, kHeaderSize + 24);
        case TSizes::NonEmpty:
            return r.Between(kHeaderSize, 512);
    }
    return 0;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string Message(uint64_t seed, int client, int seq, TSizes sizes) {
    TRandom r(Mix(Mix(seed, uint64_t(client) + 1), uint64_t(seq) + 1));
    size_t size = DrawSize(r, sizes);
    if (size == 0) return {};
    char header[kHeaderSize + 1];
    std::snprintf(header, sizeof header, "Q%02X%04X:", unsigned(client) & 0xFF, unsigned(seq) & 0xFFFF);
    std::string m(header, kHeaderSize);
    m.resize(size);
    // Every byte value, zero bytes included, but two: 0x0C ends a message,
    // and 0x98 (U+02DC in code page 1252) after some characters makes Wine's
    // text shaping fault while the memo lays the text out, which ends the
    // program at once; the soak is about forwarding, not about that.
    for (size_t i = kHeaderSize; i < size;) {
        uint64_t bits = r.Next();
        for (int k = 0; k < 8 && i < size; ++k, ++i) {
            char c = char(bits >> (8 * k));
            m[i] = c == '\f' ? char(0x8C) : c == char(0x98) ? char(0x99) : c;
        }
    }
    return m;
}

std::optional<TIdentity> Identify(std::string_view m) {
    if (m.size() < kHeaderSize || m[0] != 'Q' || m[kHeaderSize - 1] != ':') return std::nullopt;
    int v[6];
    for (int k = 0; k < 6; ++k)
        if ((v[k] = HexDigit(m[size_t(k) + 1])) < 0) return std::nullopt;
    return TIdentity{v[0] * 16 + v[1], ((v[2] * 16 + v[3]) * 16 + v[4]) * 16 + v[5]};
}

std::string QuitSpelling(int pattern) {
    std::string q = "quit";
    for (int k = 0; k < 4; ++k)
        if (pattern & (1 << k)) q[size_t(k)] = char(std::toupper(q[size_t(k)]));
    return q;
}

std::optional<int> QuitPattern(std::string_view m) {
    if (m.size() != 4) return std::nullopt;
    int pattern = 0;
    for (int k = 0; k < 4; ++k) {
        char c = m[size_t(k)];
        if (std::tolower(static_cast<unsigned char>(c)) != "quit"[k]) return std::nullopt;
        if (std::isupper(static_cast<unsigned char>(c))) pattern |= 1 << k;
    }
    return pattern;
}

const char* EndingName(TEnding e) {
    switch (e) {
        case TEnding::Close:
            return "close";
        case TEnding::CloseMidMessage:
            return "close mid-message";
        case TEnding::ResetMidMessage:
            return "reset mid-message";
        case TEnding::ResetAbruptly:
            return "reset abruptly";
        case TEnding::Quit:
            return "quit";
    }
    return "?";
}

std::string PartialMessage(uint64_t seed, const TClientPlan& plan) {
    std::string m = Message(seed, plan.Id, plan.Complete, plan.Sizes);
    if (m.size() < 2) m = Message(seed, plan.Id, plan.Complete, TSizes::NonEmpty);
    TRandom r(Mix(Mix(seed, uint64_t(plan.Id) + 1000), 7));
    // At least one byte and never the whole message: no 0x0C follows it.
    m.resize(r.Between(1, m.size() - 1));
    return m;
}

void TStartGate::Arrived() {
    std::lock_guard<std::mutex> l(FLock);
    ++FArrived;
    FChanged.notify_all();
}

bool TStartGate::WaitAll(int count, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> l(FLock);
    return FChanged.wait_for(l, timeout, [&] { return FArrived >= count; });
}

void TStartGate::Open() {
    std::lock_guard<std::mutex> l(FLock);
    FOpen = true;
    FChanged.notify_all();
}

bool TStartGate::WaitOpen(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> l(FLock);
    return FChanged.wait_for(l, timeout, [&] { return FOpen; });
}

namespace {

std::chrono::milliseconds Left(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return std::max(left, 0ms);
}

int Connect(bool ipv6, int port, Clock::time_point deadline) {
    addrinfo hints{}, *res = nullptr;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST;
    if (getaddrinfo(ipv6 ? "::1" : "127.0.0.1", std::to_string(port).c_str(), &hints, &res) != 0) return -1;
    int fd = -1;
    // A full accept queue makes the kernel retry on its own; a refusal is
    // retried here until the deadline.
    for (int attempt = 0; attempt < 100 && Clock::now() < deadline; ++attempt) {
        fd = socket(res->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd >= 0 && connect(fd, res->ai_addr, res->ai_addrlen) == 0) break;
        if (fd >= 0) close(fd);
        fd = -1;
        std::this_thread::sleep_for(100ms);
    }
    freeaddrinfo(res);
    return fd;
}

class TConnection {
public:
    TConnection(const TClientPlan& plan, const TStalled& stalled, Clock::time_point deadline,
                TClientReport& report)
        : FPlan(plan), FStalled(stalled), FDeadline(deadline), FReport(report) {}
    ~TConnection() {
        if (FFd >= 0) close(FFd);
    }

    bool Open(int port) {
        FFd = Connect(FPlan.IPv6, port, FDeadline);
        if (FFd < 0) return Fault("cannot connect");
        // Each send waits at most this long; Send goes on until the deadline
        // or until the program stalls.
        timeval t{5, 0};
        setsockopt(FFd, SOL_SOCKET, SO_SNDTIMEO, &t, sizeof t);
        int one = 1;
        if (FPlan.Slow) setsockopt(FFd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        return true;
    }

    // Sends all bytes; false with errno kept when the connection failed.
    bool Send(std::string_view bytes) {
        ++FReport.Writes;
        while (!bytes.empty()) {
            ssize_t n = send(FFd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (n > 0) {
                bytes.remove_prefix(size_t(n));
                FReport.BytesSent += uint64_t(n);
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) && !GiveUp()) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) errno = ETIMEDOUT;
            return false;
        }
        return true;
    }

    // The program never answers: nothing may be waiting to be read.
    void ExpectNothingReceived() {
        char c;
        ssize_t n = recv(FFd, &c, 1, MSG_DONTWAIT);
        if (n > 0) Fault("the program sent bytes to the client");
    }

    // Until the peer has every byte sent so far (bounded).
    void WaitAllAcknowledged(std::chrono::milliseconds timeout) {
        auto end = Clock::now() + timeout;
        for (int pending = 1; Clock::now() < end; std::this_thread::sleep_for(5ms))
            if (ioctl(FFd, SIOCOUTQ, &pending) != 0 || pending == 0) return;
    }

    void Reset() {
        linger l{1, 0};
        setsockopt(FFd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        close(FFd);
        FFd = -1;
    }

    void Close() {
        close(FFd);
        FFd = -1;
    }

    // True when the program closed or reset the connection before the
    // deadline and before it stalled.
    bool WaitClosedByPeer() {
        for (int guard = 0; guard < 100000; ++guard) {
            pollfd p{FFd, POLLIN, 0};
            int r = poll(&p, 1, int(std::min<int64_t>(Left(FDeadline).count(), 1000)));
            if (r < 0 && errno == EINTR) continue;
            if (r == 0) {
                if (GiveUp()) return false;
                continue;
            }
            char buf[256];
            ssize_t n = recv(FFd, buf, sizeof buf, 0);
            if (n == 0 || (n < 0 && errno == ECONNRESET)) return true;
            if (n > 0) Fault("the program sent bytes to the client");
            if (n < 0 && errno != EINTR && errno != EAGAIN) return false;
        }
        return false;
    }

    bool Fault(const std::string& what) {
        FReport.Faults.push_back("client " + std::to_string(FPlan.Id) + " (" + EndingName(FPlan.Ending) +
                                 (FPlan.Slow ? ", slow" : "") + "): " + what);
        return false;
    }

private:
    bool GiveUp() const { return Clock::now() >= FDeadline || FStalled(); }

    const TClientPlan& FPlan;
    const TStalled& FStalled;
    Clock::time_point FDeadline;
    TClientReport& FReport;
    int FFd = -1;
};

// How many bytes the next write takes: from one byte to several times the
// program's receive size, independent of where messages end.
size_t CutSize(TRandom& r, bool slow) {
    if (slow) return 1;
    uint64_t p = r.Between(0, 99);
    if (p < 25) return r.Between(1, 16);
    if (p < 60) return r.Between(17, 2048);
    if (p < 90) return r.Between(2049, 65536);
    return r.Between(65537, 262144);
}

}  // namespace

void RunClient(const TClientPlan& plan, uint64_t seed, int port, TStartGate& gate,
               const TWaitArrived& waitArrived, const TStalled& stalled, Clock::time_point deadline,
               TClientReport& report) {
    TConnection conn(plan, stalled, deadline, report);
    bool connected = conn.Open(port);
    gate.Arrived();
    if (!connected) return;
    if (!gate.WaitOpen(Left(deadline))) {
        conn.Fault("never told to start");
        return;
    }
    TRandom cuts(Mix(Mix(seed, uint64_t(plan.Id) + 500), 3));

    // The stream up to the ending: complete messages, and for a quitting
    // client its "quit" and the messages after it.
    const int pieces = plan.Complete + (plan.Ending == TEnding::Quit ? 1 + plan.AfterQuit : 0);
    int next = 0;
    size_t identified = 0;  // non-empty complete messages before the ending
    uint64_t appended = 0, sent = 0, quitEnd = UINT64_MAX;
    std::string out;
    size_t off = 0;
    auto waitAllArrived = [&] {
        while (!waitArrived(plan.Id, identified, 1s))
            if (Clock::now() >= deadline || stalled()) return false;
        return true;
    };
    // A client that resets abruptly first lets everything but its last few
    // messages arrive: those and the unfinished one are in flight when the
    // reset comes, instead of megabytes that would all be lost.
    const int settleAt = plan.Ending == TEnding::ResetAbruptly ? std::max(0, plan.Complete - 16) : -1;
    bool settled = settleAt < 0;
    for (;;) {
        size_t want = CutSize(cuts, plan.Slow);
        while (out.size() - off < want && next < pieces && (settled || next < settleAt)) {
            std::string piece;
            if (next < plan.Complete) {
                piece = Message(seed, plan.Id, next, plan.Sizes);
                if (!piece.empty()) ++identified;
            } else if (next == plan.Complete) {
                piece = QuitSpelling(plan.QuitPattern);
                quitEnd = appended + piece.size() + 1;
            } else {
                piece = Message(seed, plan.Id, next - 1, plan.Sizes);
            }
            piece += '\f';
            appended += piece.size();
            out += piece;
            ++next;
        }
        if (off == out.size()) {
            if (settled) break;
            if (!waitAllArrived()) {
                conn.Fault("its first messages did not all arrive before the reset");
                return;
            }
            settled = true;
            continue;
        }
        size_t n = std::min(want, out.size() - off);
        if (!conn.Send(std::string_view(out).substr(off, n))) {
            int err = errno;
            // Only after the whole "quit" went out may the program have closed.
            if (sent >= quitEnd) break;
            conn.Fault(std::string("send failed: ") + std::strerror(err) + " after " + std::to_string(sent) +
                       " bytes");
            return;
        }
        off += n;
        sent += n;
        if (off > (1u << 20)) {
            out.erase(0, off);
            off = 0;
        }
        if (plan.Slow) std::this_thread::sleep_for(std::chrono::microseconds(cuts.Between(0, 800)));
    }

    auto sendPartial = [&] {
        std::string partial = PartialMessage(seed, plan);
        for (size_t at = 0; at < partial.size();) {
            size_t n = std::min(CutSize(cuts, plan.Slow), partial.size() - at);
            if (!conn.Send(std::string_view(partial).substr(at, n)))
                return conn.Fault(std::string("send of the unfinished message failed: ") +
                                  std::strerror(errno));
            at += n;
        }
        return true;
    };

    switch (plan.Ending) {
        case TEnding::Close:
            conn.ExpectNothingReceived();
            conn.Close();
            break;
        case TEnding::CloseMidMessage:
            if (!sendPartial()) return;
            conn.ExpectNothingReceived();
            conn.Close();
            break;
        case TEnding::ResetMidMessage:
            // Everything complete has arrived, so only the unfinished message
            // is pending in the program when the reset comes.
            if (!waitAllArrived()) conn.Fault("its complete messages did not all arrive before the reset");
            if (!sendPartial()) return;
            conn.WaitAllAcknowledged(5s);
            std::this_thread::sleep_for(200ms);
            conn.ExpectNothingReceived();
            conn.Reset();
            break;
        case TEnding::ResetAbruptly:
            if (!sendPartial()) return;
            conn.Reset();
            break;
        case TEnding::Quit:
            report.ClosedByProgram = conn.WaitClosedByPeer();
            if (!report.ClosedByProgram) conn.Fault("the program did not close the connection after quit");
            break;
    }
}

}  // namespace e2e::soak
