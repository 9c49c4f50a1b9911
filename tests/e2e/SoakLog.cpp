#include "e2e/SoakLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

namespace e2e::soak {

using namespace std::chrono_literals;

namespace {

constexpr size_t kFaultsKept = 30;

std::string Preview(const std::string& m) {
    std::string out;
    for (size_t i = 0; i < m.size() && i < 24; ++i) {
        unsigned char c = static_cast<unsigned char>(m[i]);
        if (c >= 0x20 && c < 0x7F) {
            out += char(c);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        }
    }
    return out + (m.size() > 24 ? "..." : "");
}

}  // namespace

TLogTail::TLogTail(std::string path, std::function<std::optional<std::string>(int, int)> original,
                   std::map<int, int> quitClientOfPattern)
    : FPath(std::move(path)),
      FOriginal(std::move(original)),
      FQuitClientOfPattern(std::move(quitClientOfPattern)),
      FArrived(kMaxClients) {
    FThread = std::thread([this] { Run(); });
}

TLogTail::~TLogTail() {
    FStop = true;
    FThread.join();
}

void TLogTail::Run() {
    int fd = -1;
    std::string pending;
    char buf[1 << 16];
    while (!FStop) {
        if (fd < 0) fd = open(FPath.c_str(), O_RDONLY | O_CLOEXEC);
        ssize_t n = fd >= 0 ? read(fd, buf, sizeof buf) : 0;
        if (n <= 0) {
            std::this_thread::sleep_for(10ms);
            continue;
        }
        pending.append(buf, size_t(n));
        size_t p = 0;
        while (pending.size() - p >= 4) {
            uint32_t len = 0;
            for (int k = 0; k < 4; ++k) len |= uint32_t(uint8_t(pending[p + size_t(k)])) << (8 * k);
            if (pending.size() - p - 4 < len) break;  // still being written
            Take(pending.substr(p + 4, len));
            p += 4 + len;
        }
        pending.erase(0, p);
    }
    if (fd >= 0) close(fd);
}

void TLogTail::Take(const std::string& m) {
    std::string fault;
    int client = -2, seq = 0;
    if (m.empty()) {
        client = -1;
    } else if (auto pattern = QuitPattern(m)) {
        auto it = FQuitClientOfPattern.find(*pattern);
        if (it == FQuitClientOfPattern.end())
            fault = "a quit nobody sent: " + m;
        else
            client = it->second, seq = kQuitArrived;
    } else if (auto id = Identify(m)) {
        auto original = FOriginal(id->Client, id->Seq);
        if (!original) {
            fault = "a message of no known client: " + Preview(m);
        } else if (*original != m) {
            size_t at = 0;
            while (at < m.size() && at < original->size() && m[at] == (*original)[at]) ++at;
            fault = "client " + std::to_string(id->Client) + " message " + std::to_string(id->Seq) +
                    " changed: " + std::to_string(m.size()) + " bytes instead of " +
                    std::to_string(original->size()) + ", first difference at byte " + std::to_string(at);
        } else {
            client = id->Client, seq = id->Seq;
        }
    } else {
        fault =
            "bytes that are no message of any client: " + std::to_string(m.size()) + " bytes " + Preview(m);
    }
    std::lock_guard<std::mutex> l(FLock);
    ++FTotal;
    FBytes += m.size();
    FLastArrival = Clock::now();
    if (!fault.empty()) {
        if (FFaults.size() < kFaultsKept) FFaults.push_back(fault);
        ++FFaultCount;
    } else if (client == -1) {
        ++FEmpty;
    } else {
        FArrived[size_t(client)].push_back(seq);
    }
    FChanged.notify_all();
}

bool TLogTail::WaitArrived(int client, size_t count, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> l(FLock);
    return FChanged.wait_for(l, timeout, [&] { return FArrived[size_t(client)].size() >= count; });
}

std::vector<int> TLogTail::Arrived(int client) const {
    std::lock_guard<std::mutex> l(FLock);
    return FArrived[size_t(client)];
}

size_t TLogTail::Empty() const {
    std::lock_guard<std::mutex> l(FLock);
    return FEmpty;
}

size_t TLogTail::Total() const {
    std::lock_guard<std::mutex> l(FLock);
    return FTotal;
}

uint64_t TLogTail::Bytes() const {
    std::lock_guard<std::mutex> l(FLock);
    return FBytes;
}

Clock::time_point TLogTail::LastArrival() const {
    std::lock_guard<std::mutex> l(FLock);
    return FLastArrival;
}

std::vector<std::string> TLogTail::Faults() const {
    std::lock_guard<std::mutex> l(FLock);
    std::vector<std::string> out = FFaults;
    if (FFaultCount > FFaults.size())
        out.push_back("and " + std::to_string(FFaultCount - FFaults.size()) + " more such messages");
    return out;
}

}  // namespace e2e::soak
