// quellora-bench-slotloop: what a mailslot can carry on this machine, with
// nothing else in the way. One thread creates a mailslot of its own, opens
// its client end the way the program's writer does, and then, round after
// round, writes one message and reads it back. No sockets, no other thread.
//
//   quellora-bench-slotloop [--sizes 16,256,4096] [--rounds N] [--max-ms T]
//   quellora-bench-slotloop --serve
//
// --serve runs one measurement per line "SIZE ROUNDS MAX_MS" on standard
// input, until "quit" or the end of input, so that a bench can measure the
// ceiling right next to each of its runs without starting a process each
// time. One line per size:
//   s SIZE ROUNDS TOTAL_US WRITE_US READ_US P50_US P99_US MAX_US BAD
// WRITE_US and READ_US add up the time spent in WriteFile and ReadFile;
// the percentiles are of one round (write plus read).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/helpers/BenchPayload.h"

namespace {

LARGE_INTEGER gFreq;

double Us(LONGLONG ticks) { return double(ticks) * 1e6 / double(gFreq.QuadPart); }

LONGLONG Now() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

bool RunSize(size_t size, int rounds, DWORD maxMs) {
    std::string path = "\\\\.\\mailslot\\QuelloraBench\\Loop" + std::to_string(GetCurrentProcessId()) + "_" +
                       std::to_string(size);
    HANDLE slot = CreateMailslotA(path.c_str(), 0, 1000, nullptr);
    if (slot == INVALID_HANDLE_VALUE) {
        std::printf("e CreateMailslot %lu\n", GetLastError());
        return false;
    }
    HANDLE writer = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (writer == INVALID_HANDLE_VALUE) {
        std::printf("e CreateFile %lu\n", GetLastError());
        CloseHandle(slot);
        return false;
    }
    qrbench::TStreamCheck check;
    std::string message(size, '\0'), in(size + 4096, '\0');
    std::vector<double> roundUs;
    roundUs.reserve(size_t(rounds));
    LONGLONG writeTicks = 0, readTicks = 0;
    LONGLONG start = Now(), limit = LONGLONG(maxMs) * gFreq.QuadPart / 1000;
    bool ok = true;
    for (int r = 0; r < rounds && Now() - start < limit; ++r) {
        qrbench::FormatMessage(message.data(), size, 0, uint32_t(r));
        LONGLONG t0 = Now();
        DWORD n = 0;
        if (!WriteFile(writer, message.data(), DWORD(size), &n, nullptr) || n != size) {
            std::printf("e WriteFile %lu\n", GetLastError());
            ok = false;
            break;
        }
        LONGLONG t1 = Now();
        if (!ReadFile(slot, in.data(), DWORD(in.size()), &n, nullptr)) {
            std::printf("e ReadFile %lu\n", GetLastError());
            ok = false;
            break;
        }
        LONGLONG t2 = Now();
        check.Take(in.data(), n);
        writeTicks += t1 - t0;
        readTicks += t2 - t1;
        roundUs.push_back(Us(t2 - t0));
    }
    double total = Us(Now() - start);
    CloseHandle(writer);
    CloseHandle(slot);
    if (roundUs.empty()) return false;
    std::vector<double> sorted = roundUs;
    std::sort(sorted.begin(), sorted.end());
    auto pct = [&](double p) {
        return sorted[std::min(sorted.size() - 1, size_t(p * double(sorted.size())))];
    };
    std::printf("s %zu %zu %.0f %.0f %.0f %.2f %.2f %.2f %llu\n", size, roundUs.size(), total, Us(writeTicks),
                Us(readTicks), pct(0.50), pct(0.99), sorted.back(), (unsigned long long)check.Bad);
    std::fflush(stdout);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    std::string sizes = "16,256,4096";
    int rounds = 20000;
    DWORD maxMs = 3000;
    bool serve = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--serve")
            serve = true;
        else if (a == "--sizes" && i + 1 < argc)
            sizes = argv[++i];
        else if (a == "--rounds" && i + 1 < argc)
            rounds = std::atoi(argv[++i]);
        else if (a == "--max-ms" && i + 1 < argc)
            maxMs = DWORD(std::strtoul(argv[++i], nullptr, 10));
        else {
            std::fprintf(
                stderr,
                "usage: quellora-bench-slotloop [--sizes LIST] [--rounds N] [--max-ms T] | --serve\n");
            return 2;
        }
    }
    QueryPerformanceFrequency(&gFreq);
    if (serve) {
        char line[256];
        while (std::fgets(line, sizeof line, stdin)) {
            unsigned long size = 0, maxMs = 0;
            int n = 0;
            if (std::sscanf(line, "%lu %d %lu", &size, &n, &maxMs) != 3) break;
            if (!RunSize(std::max<size_t>(size, qrbench::kHeaderSize), n, DWORD(maxMs))) {
                std::printf("s %lu 0 0 0 0 0 0 0 0\n", size);
                std::fflush(stdout);
            }
        }
        return 0;
    }
    bool ok = true;
    for (size_t p = 0; p < sizes.size();) {
        size_t q = sizes.find(',', p);
        if (q == std::string::npos) q = sizes.size();
        size_t size = std::strtoul(sizes.substr(p, q - p).c_str(), nullptr, 10);
        if (size < qrbench::kHeaderSize) size = qrbench::kHeaderSize;
        ok = RunSize(size, rounds, maxMs) && ok;
        p = q + 1;
    }
    return ok ? 0 : 1;
}
