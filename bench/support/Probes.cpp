#include "bench/support/Probes.h"

#include <dirent.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include "bench/support/Child.h"

namespace qrbench {

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), {});
}

// Every line a Windows helper writes until it ends (bounded by `timeout`).
std::vector<std::string> RunHelper(const std::string& winBuildDir, const std::string& exe,
                                   const std::vector<std::string>& args, std::chrono::milliseconds timeout) {
    TChild child(WineCommand(winBuildDir, exe, args), true);
    child.CloseInput();
    std::vector<std::string> lines;
    auto end = Clock::now() + timeout;
    while (Clock::now() < end) {
        auto line = child.ReadLine(std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()));
        if (!line) break;
        lines.push_back(*line);
    }
    if (!child.Wait(5s)) child.Kill();
    return lines;
}

// The lines of a helper that measures each size in `sizes` for up to
// `rounds` rounds and `maxMsPerSize` milliseconds.
std::vector<std::string> RunSizedHelper(const std::string& winBuildDir, const std::string& exe,
                                        const std::vector<size_t>& sizes, int rounds, int maxMsPerSize) {
    std::string list;
    for (size_t s : sizes) list += (list.empty() ? "" : ",") + std::to_string(s);
    return RunHelper(
        winBuildDir, exe,
        {"--sizes", list, "--rounds", std::to_string(rounds), "--max-ms", std::to_string(maxMsPerSize)},
        std::chrono::milliseconds(60000 + int64_t(maxMsPerSize) * int64_t(sizes.size())));
}

unsigned long long StatusField(const std::string& text, const char* key) {
    size_t p = text.find(std::string("\n") + key);
    if (p == std::string::npos) return 0;
    return std::strtoull(text.c_str() + p + 1 + std::strlen(key), nullptr, 10);
}

}  // namespace

std::vector<TLoopResult> RunSlotLoop(const std::string& winBuildDir, const std::vector<size_t>& sizes,
                                     int rounds, int maxMsPerSize) {
    auto lines = RunSizedHelper(winBuildDir, "quellora-bench-slotloop.exe", sizes, rounds, maxMsPerSize);
    std::vector<TLoopResult> out;
    for (const std::string& l : lines) {
        TLoopResult r;
        unsigned long long rounds_ = 0, bad = 0;
        double total, write, read;
        if (std::sscanf(l.c_str(), "s %zu %llu %lf %lf %lf %lf %lf %lf %llu", &r.Size, &rounds_, &total,
                        &write, &read, &r.P50Us, &r.P99Us, &r.MaxUs, &bad) == 9) {
            r.Rounds = rounds_;
            r.Bad = bad;
            r.MsgPerSec = total > 0 ? double(rounds_) * 1e6 / total : 0;
            r.MBPerSec = r.MsgPerSec * double(r.Size) / 1e6;
            r.WriteShare = write + read > 0 ? write / (write + read) : 0;
            out.push_back(r);
        } else if (!l.empty() && l[0] == 'e') {
            TLoopResult e;
            e.Error = l;
            out.push_back(e);
        }
    }
    return out;
}

std::vector<TLoopResult> RunMemo(const std::string& winBuildDir, const std::vector<size_t>& sizes, int rounds,
                                 int maxMsPerSize) {
    auto lines = RunSizedHelper(winBuildDir, "quellora-bench-memo.exe", sizes, rounds, maxMsPerSize);
    std::vector<TLoopResult> out;
    for (const std::string& l : lines) {
        TLoopResult r;
        unsigned long long rounds_ = 0;
        double total;
        if (std::sscanf(l.c_str(), "m %zu %llu %lf %lf %lf %lf", &r.Size, &rounds_, &total, &r.P50Us,
                        &r.P99Us, &r.MaxUs) == 6) {
            r.Rounds = rounds_;
            r.MsgPerSec = total > 0 ? double(rounds_) * 1e6 / total : 0;
            out.push_back(r);
        } else if (!l.empty() && l[0] == 'e') {
            r.Error = l;
            out.push_back(r);
        }
    }
    return out;
}

TProcessFigures ProbeProcess(const std::string& winBuildDir, const std::string& exeName, pid_t unixPid) {
    TProcessFigures f;
    for (const std::string& l : RunHelper(winBuildDir, "quellora-bench-procinfo.exe", {exeName}, 60s)) {
        unsigned long pid;
        if (std::sscanf(l.c_str(), "p %lu %ld %llu %llu %llu", &pid, &f.WinThreads, &f.WinPrivate,
                        &f.WinCommitted, &f.WinWorkingSet) == 5) {
            f.Valid = true;
            break;
        }
    }
    std::string status = ReadFile("/proc/" + std::to_string(unixPid) + "/status");
    f.LinuxThreads = long(StatusField(status, "Threads:"));
    std::string smaps = ReadFile("/proc/" + std::to_string(unixPid) + "/smaps_rollup");
    f.LinuxPrivateResident =
        (StatusField(smaps, "Private_Clean:") + StatusField(smaps, "Private_Dirty:")) * 1024ull;
    return f;
}

long LinuxThreadCount(pid_t pid) {
    std::string status = ReadFile("/proc/" + std::to_string(pid) + "/status");
    return status.empty() ? -1 : long(StatusField(status, "Threads:"));
}

double WaitForThreads(pid_t pid, long threads, std::chrono::seconds timeout) {
    auto start = std::chrono::steady_clock::now();
    for (;;) {
        long n = LinuxThreadCount(pid);
        auto spent = std::chrono::steady_clock::now() - start;
        if (n >= 0 && n <= threads) return std::chrono::duration<double>(spent).count();
        if (n < 0 || spent > timeout) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

double CpuSeconds(pid_t pid) {
    std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
    size_t p = stat.rfind(')');
    if (p == std::string::npos) return -1;
    std::istringstream in(stat.substr(p + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    // Fields after the name start at the 3rd; utime and stime are the 14th and 15th.
    for (int i = 3; i <= 15 && in >> field; ++i) {
        if (i == 14) utime = std::strtoull(field.c_str(), nullptr, 10);
        if (i == 15) stime = std::strtoull(field.c_str(), nullptr, 10);
    }
    return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
}

pid_t FindWineserver() {
    const char* prefix = std::getenv("WINEPREFIX");
    if (!prefix) return -1;
    std::string want = std::string("WINEPREFIX=") + prefix;
    DIR* d = opendir("/proc");
    if (!d) return -1;
    pid_t found = -1;
    while (dirent* e = readdir(d)) {
        pid_t pid = pid_t(std::atoi(e->d_name));
        if (pid <= 0) continue;
        std::string comm = ReadFile("/proc/" + std::string(e->d_name) + "/comm");
        if (comm.rfind("wineserver", 0) != 0) continue;
        std::string env = ReadFile("/proc/" + std::string(e->d_name) + "/environ");
        for (size_t p = 0; p < env.size();) {
            size_t q = env.find('\0', p);
            if (q == std::string::npos) q = env.size();
            if (env.compare(p, q - p, want) == 0) found = pid;
            p = q + 1;
        }
        if (found > 0) break;
    }
    closedir(d);
    return found;
}

std::string MachineDescription() {
    std::string cpu = ReadFile("/proc/cpuinfo");
    std::string model = "unknown CPU";
    size_t p = cpu.find("model name");
    if (p != std::string::npos) {
        size_t c = cpu.find(':', p), e = cpu.find('\n', p);
        if (c != std::string::npos && e != std::string::npos) model = cpu.substr(c + 2, e - c - 2);
    }
    long cores = sysconf(_SC_NPROCESSORS_ONLN);
    unsigned long long memKb = StatusField("\n" + ReadFile("/proc/meminfo"), "MemTotal:");
    utsname u{};
    uname(&u);
    char buf[512];
    std::snprintf(buf, sizeof buf, "%s, %ld cores, %.0f GiB RAM, Linux %s", model.c_str(), cores,
                  double(memKb) / 1048576.0, u.release);
    return buf;
}

std::string LoadAverage() {
    std::string l = ReadFile("/proc/loadavg");
    size_t p = 0;
    for (int k = 0; k < 3 && p != std::string::npos; ++k) p = l.find(' ', p + 1);
    return p == std::string::npos ? l : l.substr(0, p);
}

std::string WineVersion() {
    TChild child({WineLoader(), "--version"}, true);
    auto line = child.ReadLine(10s);
    if (!child.Wait(5s)) child.Kill();
    return line.value_or("unknown");
}

}  // namespace qrbench
