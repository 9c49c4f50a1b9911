#include "bench/support/Report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace qrbench {

namespace {

std::string Num(double v, int decimals = 0) {
    if (!(v == v)) return "n/a";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    // Thousands separated by a thin comma for the integer part.
    std::string s = buf;
    size_t dot = s.find('.');
    size_t end = dot == std::string::npos ? s.size() : dot;
    size_t begin = s[0] == '-' ? 1 : 0;
    for (size_t i = end; i > begin + 3; i -= 3) s.insert(i - 3, ",");
    return s;
}

std::string Rate(double v) { return v > 0 ? Num(v) : "n/a"; }
std::string MB(double v) { return v > 0 ? Num(v, v < 10 ? 2 : 1) : "n/a"; }
std::string Pct(double part, double whole) {
    if (part <= 0 || whole <= 0) return "n/a";
    double p = 100 * part / whole;
    return Num(p, p < 10 ? 1 : 0) + " %";
}
std::string Mib(unsigned long long b) { return Num(double(b) / 1048576.0, 1) + " MiB"; }

std::string Share(double perSecond) { return perSecond < 0 ? "n/a" : Num(perSecond * 100, 1) + " %"; }

std::string Ms(double v) { return v < 0 ? "n/a" : Num(v, v < 10 ? 1 : 0) + " ms"; }

// The hostile loads, each figure beside its baseline from the same run.
void HostileSection(std::string& md, const TRunReport& r) {
    auto line = [&md](const std::string& s) { md += s + "\n"; };
    const TSlowClientsResult& sl = r.SlowClients;
    const TMassCloseResult& mc = r.MassClose;
    if (sl.SlowClients == 0 && mc.Connections == 0 && r.WineChurn.Seconds == 0 && r.NativeChurn.Seconds == 0)
        return;
    md += "\n";
    line("**Hostile loads.** Slow clients: " + Num(sl.FastClients) +
         " clients send 16-byte messages as fast as they are taken, alone and then beside " +
         Num(sl.SlowClients) +
         " clients that each send one byte (never a message end) every 50 ms. Idle connections: each sends "
         "one "
         "message, then all stay idle; afterwards all close at once and a new connection sends one message. "
         "Churn: connect, send one 16-byte message, close, at most 12 messages undelivered; its baseline is "
         "the "
         "same loop against an acceptor thread of the bench.");
    line("");
    line("| figure | baseline (same run) | measured | share |");
    line("|---|---:|---:|---:|");
    if (sl.SlowClients > 0)
        line("| Wine, " + Num(sl.FastClients) + " fast clients beside " + Num(sl.SlowClients) +
             " slow ones, msg/s | " + Rate(sl.AloneMsgPerSec) + " (alone) | " + Rate(sl.BesideMsgPerSec) +
             " | " + Pct(sl.BesideMsgPerSec, sl.AloneMsgPerSec) + " |");
    if (mc.Connections > 0) {
        auto sum = [](double a, double b) { return a < 0 || b < 0 ? -1.0 : a + b; };
        line("| Wine, " + Num(mc.Connections) + " idle connections, CPU of program + wineserver | " +
             Share(sum(mc.CpuProgramBefore, mc.CpuWineserverBefore)) + " (no connections) | " +
             Share(sum(mc.CpuProgramIdle, mc.CpuWineserverIdle)) + " (program " + Share(mc.CpuProgramIdle) +
             ", wineserver " + Share(mc.CpuWineserverIdle) + ") | |");
        line("| Wine, first message served after " + Num(mc.Connections) + " connections close at once | " +
             Ms(mc.FreshMessageMs) + " (fresh connection, none open) | " + Ms(mc.AfterCloseMs) + " | |");
        line("| Wine, after " + Num(mc.Connections) +
             " connections close at once: until the program's threads are back to idle | | " +
             (mc.ThreadsGoneSeconds < 0 ? std::string("n/a") : Num(mc.ThreadsGoneSeconds, 1) + " s") +
             " | |");
        line("| Wine, connections of the crowd accepted per second | | " +
             (mc.ConnectSeconds > 0 ? Num(mc.Connections / mc.ConnectSeconds, 1) : std::string("n/a")) +
             " | |");
    }
    if (r.ScaleThreadsGoneSeconds >= 0)
        line("| Wine, after the " + Num(r.Scale.Connections) +
             " idle connections above close at once: until the program's threads are back to idle | | " +
             Num(r.ScaleThreadsGoneSeconds, 1) + " s | |");
    for (const auto* c : {&r.WineChurn, &r.NativeChurn}) {
        if (c->Seconds == 0) continue;
        line(std::string("| ") + (c == &r.WineChurn ? "Wine" : "headless") +
             ", connect-send-close cycles per second | " + Rate(c->CeilingCyclesPerSec) +
             " (bench acceptor) | " + Rate(c->CyclesPerSec) + " | " +
             Pct(c->CyclesPerSec, c->CeilingCyclesPerSec) + " |");
    }
    line("");
    for (const std::string& e : {sl.Error, mc.Error, r.WineChurn.Error, r.NativeChurn.Error})
        if (!e.empty()) line("Failed: " + e + "  ");
    uint64_t bad = sl.Bad + mc.Bad + r.WineChurn.Bad + r.NativeChurn.Bad;
    if (bad) line("Bad messages in the hostile loads: " + std::to_string(bad) + ".");
}

std::string Finish(std::string& md, const TRunReport& r) {
    HostileSection(md, r);
    for (const std::string& n : r.Notes) md += "\nNote: " + n + "\n";
    return md;
}

std::string Outcome(const TLoadResult& r) {
    if (!r.Error.empty()) return r.Error;
    std::string s = std::to_string(r.Delivered) + "/" + std::to_string(r.Sent);
    if (r.Bad || r.Foreign) s += ", " + std::to_string(r.Bad + r.Foreign) + " bad";
    return s;
}

// Median and range of the samples' rates: "median (min–max)".
std::string Spread(const std::vector<TLoopResult>& samples, bool megabytes) {
    std::vector<double> v;
    for (const TLoopResult& r : samples)
        if (r.MsgPerSec > 0) v.push_back(megabytes ? r.MBPerSec : r.MsgPerSec);
    if (v.empty()) return "n/a";
    std::sort(v.begin(), v.end());
    auto f = megabytes ? MB : Rate;
    std::string s = f(Percentile(v, 0.5));
    if (v.size() > 1) s += " (" + f(v.front()) + "–" + f(v.back()) + ")";
    return s;
}

double MedianWriteShare(const std::vector<TLoopResult>& samples) {
    std::vector<double> v;
    for (const TLoopResult& r : samples)
        if (r.MsgPerSec > 0) v.push_back(r.WriteShare);
    std::sort(v.begin(), v.end());
    return Percentile(v, 0.5);
}

const std::vector<TLoopResult>& Samples(const std::map<size_t, std::vector<TLoopResult>>& m, size_t size) {
    static const std::vector<TLoopResult> none;
    auto it = m.find(size);
    return it == m.end() ? none : it->second;
}

std::string TargetName(const std::string& t) {
    if (t == "wine") return "Wine program";
    if (t == "native") return "headless (native)";
    if (t == "wine-server-queue") return "Wine: server + hand-off queue, no window";
    if (t == "wine-server-direct") return "Wine: server, direct write, no hand-off";
    return t;
}

// ---- JSON ----

class TJson {
public:
    TJson& Open(const std::string& key, char bracket) {
        Key(key);
        FOut += bracket;
        FFirst = true;
        return *this;
    }
    TJson& Close(char bracket) {
        FOut += bracket;
        FFirst = false;
        return *this;
    }
    TJson& Str(const std::string& key, const std::string& v) {
        Key(key);
        FOut += '"';
        for (char c : v) {
            if (c == '"' || c == '\\')
                FOut += '\\', FOut += c;
            else if (static_cast<unsigned char>(c) < 0x20) {
                char b[8];
                std::snprintf(b, sizeof b, "\\u%04x", c);
                FOut += b;
            } else
                FOut += c;
        }
        FOut += '"';
        return *this;
    }
    TJson& Number(const std::string& key, double v) {
        Key(key);
        char b[64];
        if (std::isfinite(v))
            std::snprintf(b, sizeof b, "%.10g", v);
        else
            std::snprintf(b, sizeof b, "null");
        FOut += b;
        return *this;
    }
    TJson& Bool(const std::string& key, bool v) {
        Key(key);
        FOut += v ? "true" : "false";
        return *this;
    }
    std::string Text() const { return FOut + "\n"; }

private:
    void Key(const std::string& key) {
        if (!FFirst) FOut += ',';
        FFirst = false;
        if (!key.empty()) FOut += "\"" + key + "\":";
    }
    std::string FOut;
    bool FFirst = true;
};

void Loop(TJson& j, const std::string& key, const std::map<size_t, std::vector<TLoopResult>>& m) {
    j.Open(key, '[');
    for (const auto& [size, samples] : m) {
        for (const TLoopResult& r : samples) {
            j.Open("", '{')
                .Number("size", double(size))
                .Number("msg_per_s", r.MsgPerSec)
                .Number("mb_per_s", r.MBPerSec)
                .Number("rounds", double(r.Rounds))
                .Number("write_share", r.WriteShare)
                .Number("p50_us", r.P50Us)
                .Number("p99_us", r.P99Us)
                .Number("max_us", r.MaxUs)
                .Number("bad", double(r.Bad))
                .Str("error", r.Error)
                .Close('}');
        }
    }
    j.Close(']');
}

void Figures(TJson& j, const std::string& key, const TProcessFigures& f) {
    j.Open(key, '{')
        .Bool("valid", f.Valid)
        .Number("windows_threads", double(f.WinThreads))
        .Number("windows_private_usage_bytes", double(f.WinPrivate))
        .Number("windows_committed_private_bytes", double(f.WinCommitted))
        .Number("windows_working_set_bytes", double(f.WinWorkingSet))
        .Number("linux_threads", double(f.LinuxThreads))
        .Number("linux_private_resident_bytes", double(f.LinuxPrivateResident))
        .Close('}');
}

}  // namespace

const TThroughputCell* TRunReport::Find(const std::string& target, int clients, size_t size) const {
    for (const TThroughputCell& c : Throughput)
        if (c.Target == target && c.Clients == clients && c.Size == size) return &c;
    return nullptr;
}

const TLatencyCell* TRunReport::FindLatency(const std::string& target) const {
    for (const TLatencyCell& c : Latency)
        if (c.Target == target) return &c;
    return nullptr;
}

std::string RenderMarkdown(const TRunReport& r) {
    std::string md;
    auto line = [&md](const std::string& s) { md += s + "\n"; };
    line("### Run of " + r.Date + (r.Quick ? " (quick mode)" : ""));
    line("");
    line("Machine: " + r.Machine + (r.Wine.empty() ? "" : "; " + r.Wine) +
         ". Load average before / after: " + r.LoadBefore + " / " + r.LoadAfter +
         ". Each throughput figure: " + std::to_string(r.Slices) + " slices of " + Num(r.SecondsPerRun, 1) +
         " s of sending, each after a sample of its ceilings; whole "
         "bench " +
         Num(r.TotalSeconds) + " s.");
    line("");
    line(
        "**Throughput.** Messages per second counted at the mailslot reader, MB/s of message bytes. \"of "
        "slot "
        "loop\", \"of datagram loop\", \"of TCP\": share of that ceiling for the same message size, sampled "
        "between the slices of sending so that both saw the same load. \"arrived\": messages that reached "
        "the reader / complete "
        "messages sent; every message is checked for its sender, its number in that sender's order and its "
        "bytes.");
    line("");
    line(
        "| clients | size B | Wine msg/s | Wine MB/s | of slot loop | of TCP | arrived | headless msg/s | "
        "headless MB/s | of datagram loop | of TCP | arrived |");
    line("|---:|---:|---:|---:|---:|---:|---|---:|---:|---:|---:|---|");
    for (int n : r.ClientCounts) {
        for (size_t s : r.Sizes) {
            const TThroughputCell* w = r.Find("wine", n, s);
            const TThroughputCell* h = r.Find("native", n, s);
            if (!w && !h) continue;
            std::string row = "| " + std::to_string(n) + " | " + std::to_string(s) + " | ";
            if (w)
                row += Rate(w->R.MsgPerSec) + " | " + MB(w->R.MBPerSec) + " | " +
                       Pct(w->R.MsgPerSec, w->Ceiling.SlotLoop) + " | " +
                       Pct(w->R.MsgPerSec, w->Ceiling.Tcp) + " | " + Outcome(w->R) + " | ";
            else
                row += "– | – | – | – | – | ";
            if (h)
                row += Rate(h->R.MsgPerSec) + " | " + MB(h->R.MBPerSec) + " | " +
                       Pct(h->R.MsgPerSec, h->Ceiling.Datagram) + " | " +
                       Pct(h->R.MsgPerSec, h->Ceiling.Tcp) + " | " + Outcome(h->R) + " |";
            else
                row += "– | – | – | – | – |";
            line(row);
        }
    }
    line("");
    line(
        "**Ceilings**, median (lowest–highest) of every sample taken in this run. Slot loop: one thread of "
        "one "
        "process under Wine writes a message into a mailslot and reads it back, again and again (\"write "
        "share\": part of a round spent in WriteFile). TCP: one loopback connection carrying the same "
        "messages "
        "as fast as they go, read 32 KiB at a time. Datagram loop: the headless build's transport, written "
        "and "
        "read back in one thread.");
    line("");
    line("| size B | slot loop msg/s | write share | TCP msg/s | TCP MB/s | datagram loop msg/s |");
    line("|---:|---:|---:|---:|---:|---:|");
    for (size_t s : r.Sizes) {
        const auto& slot = Samples(r.SlotLoop, s);
        line("| " + std::to_string(s) + " | " + Spread(slot, false) + " | " + Pct(MedianWriteShare(slot), 1) +
             " | " + Spread(Samples(r.TcpThroughput, s), false) + " | " +
             Spread(Samples(r.TcpThroughput, s), true) + " | " + Spread(Samples(r.DatagramLoop, s), false) +
             " |");
    }
    line("");
    if (!r.Latency.empty()) {
        line("**Latency.** One client sends one " + std::to_string(r.Latency.front().Size) +
             "-byte message, waits until the reader has it, and repeats. The floor, measured right before "
             "each "
             "row, adds up half a TCP round trip, one round of the slot (or datagram) loop and the one-way "
             "hop "
             "from the reader back to the bench, which every measured round also contains.");
        line("");
        line("| target | rounds | p50 µs | p99 µs | max µs | floor µs | p50 / floor |");
        line("|---|---:|---:|---:|---:|---:|---:|");
        for (const TLatencyCell& c : r.Latency) {
            if (!c.Error.empty()) {
                line("| " + TargetName(c.Target) + " | " + c.Error + " | | | | | |");
                continue;
            }
            double floor = c.FloorUs();
            line("| " + TargetName(c.Target) + " | " + std::to_string(c.Rounds) + " | " + Num(c.P50Us) +
                 " | " + Num(c.P99Us) + " | " + Num(c.MaxUs) + " | " + Num(floor) + " | " +
                 (floor > 0 ? Num(c.P50Us / floor, 1) + "×" : "n/a") + " |");
        }
        line("");
    }
    bool stages = false;
    for (const TThroughputCell& c : r.Throughput) stages = stages || c.Target.rfind("wine-server", 0) == 0;
    if (stages) {
        line(
            "**Where the time goes** (Wine). The program's own server, connection loop and mailslot writer "
            "run "
            "in a bench helper without window, tray or memo: once writing each message straight from its "
            "connection thread, once through the hand-off queue to a main thread that does nothing else. "
            "Each "
            "figure is msg/s and its share of the slot loop measured next to it.");
        line("");
        line(
            "| clients | size B | server, direct write | + hand-off queue | program (+ window messages, "
            "memo) |");
        line("|---:|---:|---:|---:|---:|");
        auto cell = [](const TThroughputCell* c) {
            return c ? Rate(c->R.MsgPerSec) + " (" + Pct(c->R.MsgPerSec, c->Ceiling.SlotLoop) + ")" : "–";
        };
        for (int n : r.ClientCounts) {
            for (size_t s : r.Sizes) {
                const TThroughputCell* d = r.Find("wine-server-direct", n, s);
                const TThroughputCell* q = r.Find("wine-server-queue", n, s);
                if (!d && !q) continue;
                line("| " + std::to_string(n) + " | " + std::to_string(s) + " | " + cell(d) + " | " +
                     cell(q) + " | " + cell(r.Find("wine", n, s)) + " |");
            }
        }
        line("");
        line(
            "The same as microseconds per message with one client: each stage is the difference between two "
            "columns above, next to what two of the steps cost when measured alone in this run (replacing a "
            "memo's text like the program's Memo1, p50 of up to 1,000 replacements; one WriteFile into a "
            "mailslot, median of the slot loop samples). Differences of noisy figures can come out "
            "negative.");
        line("");
        line(
            "| size B | program, whole | reading, framing, writing (direct) | + hand-off queue | "
            "+ window messages and memo | memo text alone | mailslot write alone |");
        line("|---:|---:|---:|---:|---:|---:|---:|");
        auto per = [](const TThroughputCell* c) {
            return c && c->R.MsgPerSec > 0 ? 1e6 / c->R.MsgPerSec : 0.0;
        };
        auto us = [](double v) { return v == 0 ? std::string("n/a") : Num(v, std::fabs(v) < 10 ? 1 : 0); };
        for (size_t s : r.Sizes) {
            double d = per(r.Find("wine-server-direct", 1, s)), q = per(r.Find("wine-server-queue", 1, s)),
                   w = per(r.Find("wine", 1, s));
            auto memo = r.Memo.find(s);
            std::vector<double> writes;
            for (const TLoopResult& l : Samples(r.SlotLoop, s))
                if (l.MsgPerSec > 0) writes.push_back(l.WriteShare * 1e6 / l.MsgPerSec);
            std::sort(writes.begin(), writes.end());
            line("| " + std::to_string(s) + " | " + us(w) + " | " + us(d) + " | " +
                 (d && q ? us(q - d) : "n/a") + " | " + (q && w ? us(w - q) : "n/a") + " | " +
                 (memo == r.Memo.end() ? "n/a" : us(memo->second.P50Us)) + " | " +
                 (writes.empty() ? "n/a" : us(Percentile(writes, 0.5))) + " |");
        }
        line("");
    }
    const TScaleResult& sc = r.Scale;
    if (sc.Connections == 0) return Finish(md, r);
    line(
        "**" + Num(sc.Connections) +
        " idle connections** (Wine program). Each connection sends one 16-byte "
        "message right after connecting and counts as accepted when that message reaches the reader; at most "
        "12 connections wait for that at a time, below the listen backlog of 15.");
    line("");
    if (!sc.Error.empty()) line("The scale run failed: " + sc.Error);
    line("| | before | with the connections open |");
    line("|---|---:|---:|");
    line("| threads (Windows) | " + Num(double(sc.Before.WinThreads)) + " | " +
         Num(double(sc.After.WinThreads)) + " |");
    line("| threads (Linux, Wine's own included) | " + Num(double(sc.Before.LinuxThreads)) + " | " +
         Num(double(sc.After.LinuxThreads)) + " |");
    line("| private usage (process-status figure; Wine leaves it 0) | " + Mib(sc.Before.WinPrivate) + " | " +
         Mib(sc.After.WinPrivate) + " |");
    line("| committed private memory (Windows address space) | " + Mib(sc.Before.WinCommitted) + " | " +
         Mib(sc.After.WinCommitted) + " |");
    line("| private resident memory (Linux) | " + Mib(sc.Before.LinuxPrivateResident) + " | " +
         Mib(sc.After.LinuxPrivateResident) + " |");
    line("");
    // Per connection: the growth with all of them open, and that plus what
    // one 1 MB message left with each of those that sent one.
    auto kib = [](double bytes) { return Num(bytes / 1024.0) + " KiB"; };
    auto per = [&](unsigned long long before, unsigned long long after, int n) {
        return n > 0 ? (double(after) - double(before)) / n : 0.0;
    };
    double committed = per(sc.Before.WinCommitted, sc.After.WinCommitted, sc.Connections);
    double resident = per(sc.Before.LinuxPrivateResident, sc.After.LinuxPrivateResident, sc.Connections);
    line("| memory per idle connection | committed | private resident (Linux) |");
    line("|---|---:|---:|");
    line("| after one 16-byte message | " + kib(committed) + " | " + kib(resident) + " |");
    if (sc.LargeServed)
        line("| after one 1 MB message (" + Num(sc.LargeConnections) + " of them) | " +
             kib(committed + per(sc.After.WinCommitted, sc.AfterLarge.WinCommitted, sc.LargeConnections)) +
             " | " +
             kib(resident + per(sc.After.LinuxPrivateResident, sc.AfterLarge.LinuxPrivateResident,
                                sc.LargeConnections)) +
             " |");
    else if (sc.LargeConnections > 0)
        line("| after one 1 MB message | not every large message was handed off in time | |");
    line("");
    line("Accepted " + Num(sc.AcceptedPerSec, 1) + " connections/s (" + Num(sc.ConnectSeconds, 2) +
         " s for all). While all were idle for " + Num(sc.IdleSeconds, 1) + " s the program used " +
         Share(sc.IdleCpuProgram) + " of a core and the wineserver " + Share(sc.IdleCpuWineserver) +
         ". A message from connection " + Num(sc.Connections) + " then " +
         (sc.LastArrived ? "arrived after " + Num(sc.LastMessageUs / 1000, 1) + " ms" : "did NOT arrive") +
         (sc.Bad ? " (" + std::to_string(sc.Bad) + " bad messages)" : "") + ".");
    return Finish(md, r);
}

std::string RenderJson(const TRunReport& r) {
    TJson j;
    j.Open("", '{')
        .Str("date", r.Date)
        .Str("machine", r.Machine)
        .Str("wine", r.Wine)
        .Str("load_before", r.LoadBefore)
        .Str("load_after", r.LoadAfter)
        .Bool("quick", r.Quick)
        .Number("seconds_per_throughput_run", r.SecondsPerRun)
        .Number("slices_per_throughput_figure", r.Slices)
        .Number("total_seconds", r.TotalSeconds);
    j.Open("ceiling_samples", '{');
    Loop(j, "wine_mailslot_loop", r.SlotLoop);
    Loop(j, "tcp_loopback", r.TcpThroughput);
    Loop(j, "datagram_loop", r.DatagramLoop);
    j.Close('}');
    std::map<size_t, std::vector<TLoopResult>> memo;
    for (const auto& [size, m] : r.Memo) memo[size].push_back(m);
    Loop(j, "wine_memo_text_replacement", memo);
    j.Open("throughput", '[');
    for (const TThroughputCell& c : r.Throughput) {
        j.Open("", '{')
            .Str("target", c.Target)
            .Number("clients", c.Clients)
            .Number("size", double(c.Size))
            .Number("msg_per_s", c.R.MsgPerSec)
            .Number("mb_per_s", c.R.MBPerSec)
            .Number("seconds_measured", c.R.SecondsMeasured);
        j.Open("slices_msg_per_s", '[');
        for (double v : c.R.SliceRates) j.Number("", v);
        j.Close(']')
            .Number("connect_seconds", c.R.ConnectSeconds)
            .Number("sent", double(c.R.Sent))
            .Number("delivered", double(c.R.Delivered))
            .Number("bad", double(c.R.Bad))
            .Number("foreign", double(c.R.Foreign))
            .Number("ceiling_slot_loop_msg_per_s", c.Ceiling.SlotLoop)
            .Number("ceiling_datagram_loop_msg_per_s", c.Ceiling.Datagram)
            .Number("ceiling_tcp_msg_per_s", c.Ceiling.Tcp)
            .Bool("drained", c.R.Drained)
            .Number("late", double(c.R.Late))
            .Str("error", c.R.Error)
            .Close('}');
    }
    j.Close(']');
    j.Open("latency", '[');
    for (const TLatencyCell& c : r.Latency) {
        j.Open("", '{')
            .Str("target", c.Target)
            .Number("size", double(c.Size))
            .Number("rounds", c.Rounds)
            .Number("p50_us", c.P50Us)
            .Number("p99_us", c.P99Us)
            .Number("max_us", c.MaxUs)
            .Number("floor_us", c.FloorUs())
            .Number("floor_tcp_half_round_trip_us", c.TcpHalfUs)
            .Number("floor_loop_round_us", c.LoopUs)
            .Number("floor_reader_hop_us", c.HopUs)
            .Number("bad", double(c.Bad))
            .Str("error", c.Error)
            .Close('}');
    }
    j.Close(']');
    const TScaleResult& s = r.Scale;
    j.Open("scale", '{')
        .Number("connections", s.Connections)
        .Number("connect_seconds", s.ConnectSeconds)
        .Number("accepted_per_s", s.AcceptedPerSec);
    Figures(j, "before", s.Before);
    Figures(j, "after", s.After);
    j.Number("idle_seconds", s.IdleSeconds)
        .Number("idle_cpu_program", s.IdleCpuProgram)
        .Number("idle_cpu_wineserver", s.IdleCpuWineserver)
        .Bool("last_connection_message_arrived", s.LastArrived)
        .Number("last_connection_message_us", s.LastMessageUs)
        .Number("large_connections", s.LargeConnections)
        .Bool("large_served", s.LargeServed);
    Figures(j, "after_large", s.AfterLarge);
    j.Number("bad", double(s.Bad)).Str("error", s.Error).Close('}');
    j.Open("slow_clients", '{')
        .Number("slow_clients", r.SlowClients.SlowClients)
        .Number("fast_clients", r.SlowClients.FastClients)
        .Number("alone_msg_per_s", r.SlowClients.AloneMsgPerSec)
        .Number("beside_msg_per_s", r.SlowClients.BesideMsgPerSec)
        .Number("sent", double(r.SlowClients.Sent))
        .Number("delivered", double(r.SlowClients.Delivered))
        .Number("bad", double(r.SlowClients.Bad))
        .Str("error", r.SlowClients.Error)
        .Close('}');
    const TMassCloseResult& mc = r.MassClose;
    j.Open("mass_close", '{')
        .Number("connections", mc.Connections)
        .Number("idle_seconds", mc.IdleSeconds)
        .Number("cpu_program_no_connections", mc.CpuProgramBefore)
        .Number("cpu_wineserver_no_connections", mc.CpuWineserverBefore)
        .Number("cpu_program_idle_connections", mc.CpuProgramIdle)
        .Number("cpu_wineserver_idle_connections", mc.CpuWineserverIdle)
        .Number("connect_seconds", mc.ConnectSeconds)
        .Number("fresh_message_ms", mc.FreshMessageMs)
        .Number("message_after_close_ms", mc.AfterCloseMs)
        .Number("threads_gone_seconds", mc.ThreadsGoneSeconds)
        .Number("scale_threads_gone_seconds", r.ScaleThreadsGoneSeconds)
        .Number("bad", double(mc.Bad))
        .Str("error", mc.Error)
        .Close('}');
    for (const auto* c : {&r.WineChurn, &r.NativeChurn}) {
        j.Open(c == &r.WineChurn ? "churn_wine" : "churn_headless", '{')
            .Number("seconds", c->Seconds)
            .Number("cycles", double(c->Cycles))
            .Number("delivered", double(c->Delivered))
            .Number("cycles_per_s", c->CyclesPerSec)
            .Number("ceiling_cycles_per_s", c->CeilingCyclesPerSec)
            .Number("bad", double(c->Bad))
            .Str("error", c->Error)
            .Close('}');
    }
    j.Open("notes", '[');
    for (const std::string& n : r.Notes) j.Str("", n);
    j.Close(']');
    j.Close('}');
    return j.Text();
}

}  // namespace qrbench
