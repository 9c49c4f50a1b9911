#include "bench/support/Readers.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <vector>

#include "link/MailSlotPlatform.h"

namespace qrbench {

namespace {
constexpr auto kAnswerTimeout = 10s;

// Adds one to an eventfd; it cannot fail short of a full counter.
void Raise(int fd) {
    uint64_t one = 1;
    ssize_t n = write(fd, &one, sizeof one);
    (void)n;
}
}  // namespace

// ---- Wine ----

TWineReader::TWineReader(const std::string& winBuildDir, const std::string& name)
    : FChild(WineCommand(winBuildDir, "quellora-bench-reader.exe", {"--name", name}), true) {
    // Its first line is "ready" (which shares the report's tag).
    std::string line = Expect('r', 60s);
    if (line != "ready") throw std::runtime_error("reader did not start: " + line);
}

TWineReader::~TWineReader() {
    try {
        FChild.Send("quit");
    } catch (...) {
    }
    FChild.CloseInput();
    if (!FChild.Wait(5s)) FChild.Kill();
}

void TWineReader::Take(const std::string& line) {
    if (line.size() > 2 && line[0] == 'c' && line[1] == ' ') {
        uint64_t n = std::strtoull(line.c_str() + 2, nullptr, 10);
        if (n > FDelivered) FDelivered = n;
    } else if (line.size() > 1 && line[0] == 'e') {
        throw std::runtime_error("reader: " + line);
    }
}

std::string TWineReader::Expect(char tag, std::chrono::milliseconds timeout) {
    auto end = Clock::now() + timeout;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
        if (left.count() < 0) left = 0ms;
        auto line = FChild.ReadLine(left);
        if (!line) throw std::runtime_error(std::string("reader gave no answer '") + tag + "'");
        if (!line->empty() && (*line)[0] == tag) return *line;
        Take(*line);
    }
}

void TWineReader::Reset() {
    FChild.Send("reset");
    FChild.Send("ping");
    Expect('p', kAnswerTimeout);
    FDelivered = 0;
}

void TWineReader::SetPush(uint64_t every) { FChild.Send("push " + std::to_string(every)); }

TReaderReport TWineReader::Report() {
    FChild.Send("report");
    std::string line = Expect('r', kAnswerTimeout);
    TReaderReport r;
    unsigned long long c, b, bad, f;
    long long first, last;
    if (std::sscanf(line.c_str(), "r %llu %llu %llu %llu %lld %lld", &c, &b, &bad, &f, &first, &last) != 6)
        throw std::runtime_error("reader report unreadable: " + line);
    r.Count = c;
    r.Bytes = b;
    r.Bad = bad;
    r.Foreign = f;
    r.FirstUs = first;
    r.LastUs = last;
    return r;
}

uint64_t TWineReader::Delivered() {
    while (auto line = FChild.TryLine()) Take(*line);
    return FDelivered;
}

bool TWineReader::WaitDelivered(uint64_t count, std::chrono::milliseconds timeout) {
    auto end = Clock::now() + timeout;
    while (Delivered() < count) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
        if (left.count() <= 0) return false;
        auto line = FChild.ReadLine(left);
        if (line) Take(*line);
    }
    return true;
}

double TWineReader::PingUs() {
    auto t0 = Clock::now();
    FChild.Send("ping");
    Expect('p', kAnswerTimeout);
    return std::chrono::duration<double, std::micro>(Clock::now() - t0).count();
}

// ---- native ----

TNativeReader::TNativeReader(const std::string& runtimeDir, const std::string& name) {
    std::u16string slot = u"\\\\.\\mailslot\\" + qr::Utf8ToUnicode(name);
    FPath = qr::MailSlotSocketPath(slot, runtimeDir);
    sockaddr_un addr{};
    if (FPath.empty() || FPath.size() >= sizeof addr.sun_path) throw std::runtime_error("bad mailslot path");
    std::filesystem::create_directories(std::filesystem::path(FPath).parent_path());
    unlink(FPath.c_str());
    FSocket = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    // The same receive buffer as the monitor that stands in for the reader.
    int size = qr::kPosixMailSlotBuffer;
    setsockopt(FSocket, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, FPath.c_str(), FPath.size() + 1);
    if (bind(FSocket, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
        throw std::runtime_error("cannot bind " + FPath);
    FNotify = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    FPingFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    FThread = std::thread(&TNativeReader::Run, this);
}

TNativeReader::~TNativeReader() {
    FStop = true;
    Raise(FPingFd);
    FThread.join();
    close(FSocket);
    close(FNotify);
    close(FPingFd);
    unlink(FPath.c_str());
}

void TNativeReader::Run() {
    std::vector<char> buffer(1 << 20);
    while (!FStop) {
        pollfd p[2] = {{FSocket, POLLIN, 0}, {FPingFd, POLLIN, 0}};
        // The time-out only bounds how late a stop is seen.
        if (poll(p, 2, 200) <= 0) continue;
        uint64_t v;
        if (p[1].revents & POLLIN) {
            if (read(FPingFd, &v, sizeof v) > 0) {
                FPong = true;
                Raise(FNotify);
            }
        }
        if (!(p[0].revents & POLLIN)) continue;
        ssize_t n = recv(FSocket, buffer.data(), buffer.size(), MSG_DONTWAIT);
        if (n < 0) continue;
        int64_t now = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - FStart).count();
        std::lock_guard<std::mutex> lock(FLock);
        FCheck.Take(buffer.data(), size_t(n));
        if (FFirstUs < 0) FFirstUs = now;
        FLastUs = now;
        if (FPush && FCheck.Count % FPush == 0) {
            FDelivered = FCheck.Count;
            Raise(FNotify);
        }
    }
}

void TNativeReader::Reset() {
    std::lock_guard<std::mutex> lock(FLock);
    FCheck.Reset();
    FFirstUs = FLastUs = -1;
    FDelivered = 0;
}

void TNativeReader::SetPush(uint64_t every) {
    std::lock_guard<std::mutex> lock(FLock);
    FPush = every;
}

TReaderReport TNativeReader::Report() {
    std::lock_guard<std::mutex> lock(FLock);
    TReaderReport r;
    r.Count = FCheck.Count;
    r.Bytes = FCheck.Bytes;
    r.Bad = FCheck.Bad;
    r.Foreign = FCheck.Foreign;
    r.FirstUs = FFirstUs;
    r.LastUs = FLastUs;
    return r;
}

uint64_t TNativeReader::Delivered() {
    uint64_t v;
    // Drained so that the fd is readable again only for a newer push.
    while (read(FNotify, &v, sizeof v) > 0) continue;
    return FDelivered;
}

bool TNativeReader::WaitDelivered(uint64_t count, std::chrono::milliseconds timeout) {
    auto end = Clock::now() + timeout;
    while (Delivered() < count) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
        if (left.count() <= 0) return false;
        pollfd p{FNotify, POLLIN, 0};
        poll(&p, 1, int(std::min<long>(left.count(), 1000)));
    }
    return true;
}

double TNativeReader::PingUs() {
    Delivered();
    FPong = false;
    auto t0 = Clock::now();
    Raise(FPingFd);
    auto end = t0 + kAnswerTimeout;
    while (!FPong && Clock::now() < end) {
        pollfd p{FNotify, POLLIN, 0};
        poll(&p, 1, 100);
        Delivered();
    }
    return std::chrono::duration<double, std::micro>(Clock::now() - t0).count();
}

}  // namespace qrbench
