// The forwarding benchmark: how many messages per second the program
// carries from TCP clients to the mailslot, how long one message takes, what
// a thousand idle connections cost, and how all of that compares with what
// the machine itself can do (a bare mailslot loop, plain TCP over loopback),
// measured side by side in one run. Runs the Windows program under Wine and
// the headless build natively. A measuring tool: it never passes or fails
// on a figure. See bench/README.md; run it through bench/run-forwarding.sh,
// which gives it a private network namespace and Wine prefix.
//
//   ForwardingBench [--quick] [--out DIR] [--win-build DIR] [--headless PATH]
//                   [--no-wine] [--no-native] [--no-scale] [--no-stages]
//                   [--connections N] [--clients LIST] [--sizes LIST]
//                   [--no-hostile] [--slow-clients N] [--crowd N]
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "bench/support/CeilingProbe.h"
#include "bench/support/Ceilings.h"
#include "bench/support/Child.h"
#include "bench/support/Load.h"
#include "bench/support/Probes.h"
#include "bench/support/Readers.h"
#include "bench/support/Report.h"

using namespace qrbench;

namespace {

constexpr int kPort = 19150;        // fixed in the program
constexpr int kServerPort = 19151;  // the stage-by-stage server of the bench
constexpr int kChurnPort = 19152;   // the bench's own acceptor, the churn's baseline
const char* const kSlot = "Quellora\\Messages";

struct TOptions {
    bool Quick = false, Wine = true, Native = true, ScaleRun = true, Stages = true;
    std::vector<int> Clients{1, 4, 16, 64};
    std::vector<size_t> Sizes{16, 256, 4096};
    std::string Out = std::string(QR_SOURCE_DIR) + "/bench/results";
    std::string WinBuild = std::string(QR_SOURCE_DIR) + "/build/win64";
    std::string Headless = std::string(QR_SOURCE_DIR) + "/build/linux/quellora-remote-headless";
    int Connections = 1000;
    bool Hostile = true;
    int SlowClients = 300;
    int Crowd = 3000;  // idle connections that then close at once
};

void Log(const std::string& s) {
    std::fprintf(stderr, "[bench] %s\n", s.c_str());
    std::fflush(stderr);
}

bool PortTaken(int port) {
    int fd = ConnectLoopback(port, 500ms);
    if (fd < 0) return false;
    close(fd);
    return true;
}

// Waits until something accepts on the port; false after `timeout` or
// when the child has ended.
bool WaitForPort(int port, TChild& child, std::chrono::milliseconds timeout) {
    auto end = Clock::now() + timeout;
    while (Clock::now() < end) {
        if (!child.Running()) return false;
        if (PortTaken(port)) return true;
        std::this_thread::sleep_for(100ms);
    }
    return false;
}

double HopUs(IReader& reader, int rounds) {
    std::vector<double> us;
    for (int i = 0; i < rounds; ++i) us.push_back(reader.PingUs());
    std::sort(us.begin(), us.end());
    return Percentile(us, 0.5) / 2;
}

// Each figure alternates between sampling the ceilings and a slice of
// sending to the program, `report.Slices` times, and ends with one more
// ceiling sample: the program and its ceilings then share whatever load the
// machine had during those seconds, and the ratio of their means compares
// like with like.
void Throughput(TRunReport& report, TCeilingProbe& ceilings, const std::string& target, TChild& program,
                int port, const std::vector<int>& clients, IReader& reader) {
    for (int n : clients) {
        for (size_t s : report.Sizes) {
            TLoadPlan plan;
            plan.Port = port;
            plan.Clients = n;
            plan.Size = s;
            TThroughputCell cell{target, n, s, {}, {}};
            std::vector<TCeilingSample> samples;
            {
                TLoadSession session(plan, reader);
                for (int k = 0; k < report.Slices; ++k) {
                    samples.push_back(ceilings.Measure(s));
                    if (!session.Slice(report.SecondsPerRun)) break;
                }
                samples.push_back(ceilings.Measure(s));
                cell.R = session.Finish();
            }
            for (const TCeilingSample& c : samples) {
                cell.Ceiling.SlotLoop += c.SlotLoop / double(samples.size());
                cell.Ceiling.Datagram += c.Datagram / double(samples.size());
                cell.Ceiling.Tcp += c.Tcp / double(samples.size());
            }
            Log(target + " " + std::to_string(n) + " clients, " + std::to_string(s) + " B: " +
                std::to_string(long(cell.R.MsgPerSec)) + " msg/s, " + std::to_string(cell.R.Delivered) + "/" +
                std::to_string(cell.R.Sent) + " arrived, " + std::to_string(cell.R.Bad + cell.R.Foreign) +
                " bad" + (cell.R.Error.empty() ? "" : ", " + cell.R.Error));
            report.Throughput.push_back(cell);
            // Connection threads of the run end before anything else runs.
            std::this_thread::sleep_for(200ms);
            if (!program.Running()) throw std::runtime_error(target + " ended during the run");
        }
    }
}

// The floor's parts are measured right before the rounds. `loopUs` gives
// one round of the platform's mailslot (or datagram) loop.
void Latency(TRunReport& report, const std::string& target, int port, int rounds, IReader& reader,
             const std::function<double()>& loopUs) {
    TLatencyCell c;
    c.Target = target;
    c.Size = 16;
    TLoopResult tcp = TcpRoundTrip(16, 500);
    c.TcpHalfUs = tcp.P50Us / 2;
    c.LoopUs = loopUs();
    c.HopUs = HopUs(reader, 200);
    TLatencyResult l = RunLatency(port, 16, rounds, reader);
    c.Rounds = int(l.RoundUs.size());
    c.Bad = l.Bad;
    c.Error = l.Error;
    std::sort(l.RoundUs.begin(), l.RoundUs.end());
    c.P50Us = Percentile(l.RoundUs, 0.5);
    c.P99Us = Percentile(l.RoundUs, 0.99);
    c.MaxUs = l.RoundUs.empty() ? 0 : l.RoundUs.back();
    Log(target + " latency: p50 " + std::to_string(c.P50Us) + " us, p99 " + std::to_string(c.P99Us) +
        " us, floor " + std::to_string(c.FloorUs()) + " us" + (c.Error.empty() ? "" : ", " + c.Error));
    report.Latency.push_back(c);
}

TScaleResult Scale(const TOptions& o, TChild& program, IReader& reader) {
    TScaleResult s;
    s.Connections = o.Connections;
    reader.Reset();
    reader.SetPush(1);
    std::this_thread::sleep_for(1s);
    s.Before = ProbeProcess(o.WinBuild, "quellora-remote.exe", program.Pid());
    std::vector<int> fds;
    try {
        fds = OpenClients(kPort, o.Connections, 16, 0, reader, 12, 300s, s.ConnectSeconds);
    } catch (const std::exception& e) {
        s.Error = e.what();
        return s;
    }
    s.AcceptedPerSec = double(o.Connections) / s.ConnectSeconds;
    std::this_thread::sleep_for(1s);
    s.After = ProbeProcess(o.WinBuild, "quellora-remote.exe", program.Pid());

    pid_t server = FindWineserver();
    s.IdleSeconds = o.Quick ? 1.0 : 3.0;
    double p0 = CpuSeconds(program.Pid()), w0 = server > 0 ? CpuSeconds(server) : -1;
    auto t0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(s.IdleSeconds));
    double elapsed = std::chrono::duration<double>(Clock::now() - t0).count();
    double p1 = CpuSeconds(program.Pid()), w1 = server > 0 ? CpuSeconds(server) : -1;
    if (p0 >= 0 && p1 >= 0) s.IdleCpuProgram = (p1 - p0) / elapsed;
    if (w0 >= 0 && w1 >= 0) s.IdleCpuWineserver = (w1 - w0) / elapsed;

    TMessageMaker maker(16);
    std::string m;
    maker.Append(m, uint32_t(o.Connections - 1), 1);
    auto sent = Clock::now();
    if (SendAll(fds.back(), m, 10s) && reader.WaitDelivered(uint64_t(o.Connections) + 1, 30s)) {
        s.LastArrived = true;
        s.LastMessageUs = std::chrono::duration<double, std::micro>(Clock::now() - sent).count();
    }
    // A message of 1,000,000 bytes on each of the first connections. The
    // mailslot takes none that large, so each is followed by its
    // connection's next numbered message, which arrives once the large one
    // has been handed off.
    s.LargeConnections = std::min(100, o.Connections);
    std::string large(1000000, 'L');
    large += '\f';
    bool sentLarge = true;
    for (int i = 0; i < s.LargeConnections && sentLarge; ++i) {
        std::string m = large;
        maker.Append(m, uint32_t(i), 1);
        sentLarge = SendAll(fds[size_t(i)], m, 30s);
    }
    if (sentLarge && reader.WaitDelivered(uint64_t(o.Connections) + 1 + uint64_t(s.LargeConnections), 120s)) {
        s.LargeServed = true;
        std::this_thread::sleep_for(1s);
        s.AfterLarge = ProbeProcess(o.WinBuild, "quellora-remote.exe", program.Pid());
    }
    s.Bad = reader.Report().Bad;
    reader.SetPush(0);
    CloseAll(fds);
    std::this_thread::sleep_for(2s);
    return s;
}

// The hostile loads against the Windows program, the crowd last: after it
// closes, the program may be busy for a long while.
void Hostile(const TOptions& o, TRunReport& report, TChild& program, IReader& reader, long idleThreads) {
    // What an earlier part left behind (connections closing at once) ends
    // first, or it would slow down the baselines.
    double settled = WaitForThreads(program.Pid(), idleThreads + 2, 300s);
    if (report.Scale.Connections > 0) report.ScaleThreadsGoneSeconds = settled;
    Log("threads back to idle after " + std::to_string(settled) + " s");
    Log(std::to_string(o.SlowClients) + " slow clients");
    report.SlowClients = RunSlowClients(kPort, reader, o.SlowClients, 4, report.Slices, report.SecondsPerRun);
    Log("fast clients alone " + std::to_string(long(report.SlowClients.AloneMsgPerSec)) +
        " msg/s, beside slow ones " + std::to_string(long(report.SlowClients.BesideMsgPerSec)) + " msg/s" +
        (report.SlowClients.Error.empty() ? "" : ", " + report.SlowClients.Error));
    std::this_thread::sleep_for(2s);
    Log("churn");
    report.WineChurn = RunChurn(kPort, kChurnPort, reader, o.Quick ? 1.5 : 3.0);
    Log("churn " + std::to_string(long(report.WineChurn.CyclesPerSec)) + "/s" +
        (report.WineChurn.Error.empty() ? "" : ", " + report.WineChurn.Error));
    std::this_thread::sleep_for(2s);
    Log(std::to_string(o.Crowd) + " idle connections closing at once");
    report.MassClose = RunMassClose(kPort, reader, program.Pid(), FindWineserver(), o.Crowd,
                                    o.Quick ? 1.0 : 3.0, idleThreads);
    Log("first message after the close: " + std::to_string(long(report.MassClose.AfterCloseMs)) + " ms" +
        (report.MassClose.Error.empty() ? "" : ", " + report.MassClose.Error));
}

void RunWine(const TOptions& o, TRunReport& report, TCeilingProbe& ceilings) {
    ceilings.StartWine(o.WinBuild);
    auto slotRound = [&] { return ceilings.SlotLoop(16, 0.25).P50Us; };
    Log("Wine memo");
    for (const TLoopResult& m : RunMemo(o.WinBuild, report.Sizes, 1000, o.Quick ? 300 : 1000))
        if (m.Error.empty())
            report.Memo[m.Size] = m;
        else
            report.Notes.push_back("memo: " + m.Error);
    TWineReader reader(o.WinBuild, kSlot);
    {
        Log("Wine program");
        TChild program(WineCommand(o.WinBuild, "quellora-remote.exe", {}), false, {},
                       o.Out + "/wine-program.log");
        if (!WaitForPort(kPort, program, 60s))
            throw std::runtime_error("the program does not listen on 19150");
        std::this_thread::sleep_for(1s);
        long idleThreads = LinuxThreadCount(program.Pid());
        Throughput(report, ceilings, "wine", program, kPort, report.ClientCounts, reader);
        Latency(report, "wine", kPort, 2000, reader, slotRound);
        if (o.ScaleRun) {
            Log(std::to_string(o.Connections) + " connections");
            report.Scale = Scale(o, program, reader);
            Log("accepted " + std::to_string(report.Scale.AcceptedPerSec) + "/s" +
                (report.Scale.Error.empty() ? "" : ", " + report.Scale.Error));
        }
        if (o.Hostile) Hostile(o, report, program, reader, idleThreads);
        // Its clients are gone, so ending it cannot hang on an idle one;
        // how it ends is not measured here.
        program.Kill();
    }
    for (const char* mode : {"direct", "queue"}) {
        if (!o.Stages) break;
        Log(std::string("Wine server, ") + mode);
        TChild server(WineCommand(o.WinBuild, "quellora-bench-server.exe",
                                  {"--port", std::to_string(kServerPort), "--handoff", mode}),
                      true, {}, o.Out + "/wine-stage-server.log");
        auto ready = server.ReadLine(60s);
        if (!ready || *ready != "ready") {
            report.Notes.push_back(std::string("stage server '") + mode + "' did not start");
            continue;
        }
        std::string target = std::string("wine-server-") + mode;
        std::vector<int> clients;
        for (int n : {1, 16})
            if (std::find(o.Clients.begin(), o.Clients.end(), n) != o.Clients.end()) clients.push_back(n);
        Throughput(report, ceilings, target, server, kServerPort, clients, reader);
        Latency(report, target, kServerPort, 1000, reader, slotRound);
        server.Send("quit");
        server.CloseInput();
        if (!server.Wait(15s)) {
            report.Notes.push_back(std::string("stage server '") + mode + "' did not end within 15 s");
            server.Kill();
        }
    }
    ceilings.StopWine();
}

void RunNative(const TOptions& o, TRunReport& report, TCeilingProbe& ceilings) {
    char tmpl[] = "/tmp/qr-bench-XXXXXX";
    if (!mkdtemp(tmpl)) throw std::runtime_error("mkdtemp failed");
    std::string dir = tmpl;
    ceilings.SetDatagramDir(dir);
    auto datagramRound = [&] {
        TLoopResult d = DatagramLoop(dir, 16, 10000000, 0.25);
        return d.P50Us;
    };
    {
        TNativeReader reader(dir, kSlot);
        Log("headless build");
        TChild headless({o.Headless}, false, {"XDG_RUNTIME_DIR=" + dir}, o.Out + "/headless.log");
        if (!WaitForPort(kPort, headless, 30s))
            throw std::runtime_error("the headless build does not listen");
        Throughput(report, ceilings, "native", headless, kPort, report.ClientCounts, reader);
        Latency(report, "native", kPort, 2000, reader, datagramRound);
        if (o.Hostile) {
            Log("headless churn");
            report.NativeChurn = RunChurn(kPort, kChurnPort, reader, o.Quick ? 1.5 : 3.0);
        }
        headless.Signal(SIGTERM);
        if (!headless.Wait(15s)) {
            report.Notes.push_back("the headless build did not end within 15 s of SIGTERM");
            headless.Kill();
        }
    }
    ceilings.SetDatagramDir("");
    std::filesystem::remove_all(dir);
}

std::string Today() {
    time_t t = time(nullptr);
    char buf[64];
    strftime(buf, sizeof buf, "%Y-%m-%d %H:%M UTC", gmtime(&t));
    return buf;
}

int Usage() {
    std::fprintf(
        stderr,
        "usage: ForwardingBench [--quick] [--out DIR] [--win-build DIR] [--headless PATH] [--no-wine] "
        "[--no-native] [--no-scale] [--no-stages] [--connections N] [--clients LIST] [--sizes LIST] "
        "[--no-hostile] [--slow-clients N] [--crowd N]\n");
    return 2;
}

// "1,4,16" -> {1, 4, 16}; values below `least` are raised to it.
template <class T>
std::vector<T> ParseList(const std::string& text, T least) {
    std::vector<T> out;
    for (size_t p = 0; p <= text.size();) {
        size_t q = text.find(',', p);
        if (q == std::string::npos) q = text.size();
        long v = std::atol(text.substr(p, q - p).c_str());
        out.push_back(std::max(T(v), least));
        p = q + 1;
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    TOptions o;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--quick")
            o.Quick = true;
        else if (a == "--no-wine")
            o.Wine = false;
        else if (a == "--no-native")
            o.Native = false;
        else if (a == "--out" && i + 1 < argc)
            o.Out = argv[++i];
        else if (a == "--win-build" && i + 1 < argc)
            o.WinBuild = argv[++i];
        else if (a == "--headless" && i + 1 < argc)
            o.Headless = argv[++i];
        else if (a == "--no-scale")
            o.ScaleRun = false;
        else if (a == "--no-hostile")
            o.Hostile = false;
        else if (a == "--slow-clients" && i + 1 < argc)
            o.SlowClients = std::max(0, std::atoi(argv[++i]));
        else if (a == "--crowd" && i + 1 < argc)
            o.Crowd = std::max(1, std::atoi(argv[++i]));
        else if (a == "--no-stages")
            o.Stages = false;
        else if (a == "--connections" && i + 1 < argc)
            o.Connections = std::max(1, std::atoi(argv[++i]));
        else if (a == "--clients" && i + 1 < argc)
            o.Clients = ParseList<int>(argv[++i], 1);
        else if (a == "--sizes" && i + 1 < argc)
            o.Sizes = ParseList<size_t>(argv[++i], kHeaderSize);
        else
            return Usage();
    }
    signal(SIGPIPE, SIG_IGN);
    // A thousand connections, here and (inherited) in the program.
    rlimit nofile{};
    getrlimit(RLIMIT_NOFILE, &nofile);
    nofile.rlim_cur = nofile.rlim_max;
    setrlimit(RLIMIT_NOFILE, &nofile);
    if (nofile.rlim_cur < rlim_t(std::max(o.Connections, o.Crowd)) + 256)
        Log("open-file limit " + std::to_string(nofile.rlim_cur) + " may be too low for the connections");

    auto started = Clock::now();
    TRunReport report;
    report.Date = Today();
    report.Machine = MachineDescription();
    report.LoadBefore = LoadAverage();
    report.Quick = o.Quick;
    report.SecondsPerRun = o.Quick ? 0.3 : 0.6;
    report.Slices = o.Quick ? 2 : 4;
    report.Sizes = o.Sizes;
    report.ClientCounts = o.Clients;
    if (PortTaken(kPort) || PortTaken(kServerPort) || PortTaken(kChurnPort)) {
        Log("port 19150 or 19151 is in use: run the bench in a network namespace of its own "
            "(bench/run-forwarding.sh does)");
        return 1;
    }

    std::filesystem::create_directories(o.Out);
    for (const char* log : {"/wine-program.log", "/wine-stage-server.log", "/headless.log"})
        std::filesystem::remove(o.Out + log);
    int status = 0;
    TCeilingProbe ceilings(o.Quick ? 0.08 : 0.15);
    try {
        if (o.Wine) {
            report.Wine = WineVersion();
            RunWine(o, report, ceilings);
        }
        if (o.Native) RunNative(o, report, ceilings);
    } catch (const std::exception& e) {
        Log(std::string("stopped: ") + e.what());
        report.Notes.push_back(std::string("the run stopped early: ") + e.what());
        status = 1;
    }
    report.SlotLoop = ceilings.SlotSamples;
    report.TcpThroughput = ceilings.TcpSamples;
    report.DatagramLoop = ceilings.DatagramSamples;
    for (const std::string& e : ceilings.Errors) report.Notes.push_back(e);
    report.LoadAfter = LoadAverage();
    report.TotalSeconds = std::chrono::duration<double>(Clock::now() - started).count();

    std::string md = RenderMarkdown(report);
    std::filesystem::create_directories(o.Out);
    std::ofstream(o.Out + "/forwarding.md") << md;
    std::ofstream(o.Out + "/forwarding.json") << RenderJson(report);
    std::fputs(md.c_str(), stdout);
    Log("written " + o.Out + "/forwarding.md and forwarding.json");
    return status;
}
