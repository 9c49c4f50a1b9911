#include "e2e/Harness.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <thread>

namespace e2e {

std::string BuildDir() {
    const char* dir = getenv("QR_E2E_BUILD_DIR");
    return dir && *dir ? dir : QR_WIN64_BUILD_DIR;
}
std::string Exe(const std::string& name) { return BuildDir() + "/" + name + ".exe"; }

bool BuildIsX86() {
    // The PE header's machine field: 0x14c for x86, 0x8664 for x86-64.
    const std::string exe = Exe("quellora-remote");
    std::ifstream f(exe, std::ios::binary);
    unsigned char dos[64] = {}, pe[6] = {};
    if (!f.read(reinterpret_cast<char*>(dos), sizeof dos)) throw std::runtime_error(exe + " is missing");
    const uint32_t at = dos[60] | dos[61] << 8 | dos[62] << 16 | uint32_t(dos[63]) << 24;
    if (!f.seekg(at) || !f.read(reinterpret_cast<char*>(pe), sizeof pe) || std::memcmp(pe, "PE\0\0", 4) != 0)
        throw std::runtime_error(exe + " is not a Windows program");
    const unsigned machine = pe[4] | pe[5] << 8;
    if (machine != 0x14c && machine != 0x8664) throw std::runtime_error(exe + ": unknown machine");
    return machine == 0x14c;
}

std::string PackageArch() { return BuildIsX86() ? "win32" : "win64"; }

std::string TempDir() {
    std::string tmpl = "/tmp/qr-e2e-XXXXXX";
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    return tmpl;
}

namespace {
std::vector<std::string> WineArgv(const std::string& exe, const std::vector<std::string>& args) {
    if (access(exe.c_str(), R_OK) != 0)
        throw std::runtime_error(exe + " is missing: build the Windows preset first");
    std::vector<std::string> argv{qrtest::WineLoader(), exe};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

std::vector<std::string> WithWineDebug(std::vector<std::string> env) {
    if (!getenv("WINEDEBUG")) env.push_back("WINEDEBUG=-all");
    return env;
}
}  // namespace

TWineProcess::TWineProcess(const std::string& exe, const std::vector<std::string>& args,
                           const std::string& outFile, const std::vector<std::string>& env)
    : TChild(WineArgv(exe, args), false, WithWineDebug(env), outFile, outFile) {}

std::string Poke(const std::vector<std::string>& args, int* exitCode) {
    std::string out = TempDir() + "/poke.txt";
    TWineProcess p(Exe("quellora-poke"), args, out);
    auto code = p.Wait(30s);
    if (exitCode) *exitCode = code.value_or(-1);
    std::ifstream f(out, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(f)), {});
    // The Windows console writes CR LF.
    std::erase(text, '\r');
    return text;
}

namespace {
std::string PokeMessageBox(const char* command, std::chrono::milliseconds timeout) {
    for (auto end = Clock::now() + timeout;; std::this_thread::sleep_for(200ms)) {
        int code = 0;
        std::string box = Poke({command}, &code);
        if (code == 0 && !box.empty()) return box;
        if (Clock::now() >= end) return "";
    }
}
}  // namespace

std::string WaitForMessageBox(std::chrono::milliseconds timeout) { return PokeMessageBox("box", timeout); }
std::string DismissMessageBox(std::chrono::milliseconds timeout) {
    return PokeMessageBox("dismiss", timeout);
}

namespace {
int ConnectOnce(const std::string& host, int port) {
    addrinfo hints{}, *res = nullptr;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST;
    if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &res) != 0) return -1;
    int fd = socket(res->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && connect(fd, res->ai_addr, res->ai_addrlen) != 0) {
        close(fd);
        fd = -1;
    }
    freeaddrinfo(res);
    return fd;
}
}  // namespace

bool PortAccepts(const std::string& host, int port) {
    int fd = ConnectOnce(host, port);
    if (fd < 0) return false;
    close(fd);
    return true;
}

TClient::TClient(const std::string& host, int port, std::chrono::milliseconds timeout) {
    auto end = Clock::now() + timeout;
    while ((FFd = ConnectOnce(host, port)) < 0) {
        if (Clock::now() >= end) throw std::runtime_error("cannot connect to " + host);
        std::this_thread::sleep_for(100ms);
    }
}

TClient::~TClient() { Close(); }

void TClient::Send(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = send(FFd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0) throw std::runtime_error("send failed");
        done += size_t(n);
    }
}

void TClient::Reset() {
    linger l{1, 0};
    setsockopt(FFd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    Close();
}

void TClient::Close() {
    if (FFd >= 0) close(FFd);
    FFd = -1;
}

bool TClient::WaitClosedByPeer(std::chrono::milliseconds timeout) {
    pollfd p{FFd, POLLIN, 0};
    if (poll(&p, 1, int(timeout.count())) != 1) return false;
    char c;
    ssize_t n = recv(FFd, &c, 1, 0);
    return n == 0 || (n < 0 && errno == ECONNRESET);
}

std::vector<std::string> TMonitorLog::Read() const {
    std::ifstream f(FPath, std::ios::binary);
    std::string all((std::istreambuf_iterator<char>(f)), {});
    std::vector<std::string> out;
    size_t p = 0;
    while (p + 4 <= all.size()) {
        uint32_t n = 0;
        for (int k = 0; k < 4; ++k) n |= uint32_t(uint8_t(all[p + size_t(k)])) << (8 * k);
        if (p + 4 + n > all.size()) break;  // still being written
        out.push_back(all.substr(p + 4, n));
        p += 4 + n;
    }
    return out;
}

std::vector<std::string> TMonitorLog::WaitFor(size_t count, std::chrono::milliseconds timeout) const {
    auto end = Clock::now() + timeout;
    for (;;) {
        auto msgs = Read();
        if (msgs.size() >= count || Clock::now() >= end) return msgs;
        std::this_thread::sleep_for(20ms);
    }
}

TMonitor::TMonitor(bool reads) : Log(""), FDir(TempDir()), FReads(reads) {
    Log = TMonitorLog(FDir + "/messages.bin");
    Restart();
}

void TMonitor::Restart() {
    FProcess.reset();
    std::string out = FDir + "/monitor.out";
    unlink(out.c_str());
    std::vector<std::string> args{"--quiet", "--log", "Z:" + Log.Path()};
    if (!FReads) args.push_back("--no-read");
    FProcess = std::make_unique<TWineProcess>(Exe("quellora-monitor"), args, out);
    // The monitor says so once its mailslot exists.
    auto end = Clock::now() + 30s;
    while (Clock::now() < end) {
        std::ifstream f(out);
        std::string text((std::istreambuf_iterator<char>(f)), {});
        if (text.find("monitoring") != std::string::npos) return;
        if (!FProcess->Running()) throw std::runtime_error("monitor ended: " + text);
        std::this_thread::sleep_for(50ms);
    }
    throw std::runtime_error("monitor did not start");
}

std::string ProgramReportFile() { return BuildDir() + "/bugreport.txt"; }

std::string ReadProgramReport() {
    std::ifstream f(ProgramReportFile(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

TProgram::TProgram(const std::vector<std::string>& env, bool waitForPort, bool ownsPort,
                   const std::string& exe) {
    // Each test sees only the crash reports of its own program.
    if (ownsPort) std::remove(ProgramReportFile().c_str());
    // A copy still ending from an earlier test would take the connections.
    for (auto end = Clock::now() + 30s; ownsPort && PortAccepts("127.0.0.1", kPort);
         std::this_thread::sleep_for(200ms))
        if (Clock::now() >= end) throw std::runtime_error("another program still listens on the port");
    FProcess = std::make_unique<TWineProcess>(exe.empty() ? Exe("quellora-remote") : exe,
                                              std::vector<std::string>{}, "", env);
    if (!waitForPort) return;
    auto end = Clock::now() + 30s;
    while (!PortAccepts("127.0.0.1", kPort)) {
        if (Clock::now() >= end || !FProcess->Running()) throw std::runtime_error("program does not listen");
        std::this_thread::sleep_for(100ms);
    }
}

std::optional<int> TProgram::Close(std::chrono::milliseconds timeout) {
    Poke({"close"});
    return FProcess->Wait(timeout);
}

TMonitor* TProgramSuite::monitor = nullptr;
TProgram* TProgramSuite::program = nullptr;

void TProgramSuite::SetUpTestSuite() {
    monitor = new TMonitor;
    program = new TProgram;
}

void TProgramSuite::TearDownTestSuite() {
    if (program) {
        EXPECT_EQ(program->Close(), std::optional<int>(0));
    }
    delete program;
    delete monitor;
    program = nullptr;
    monitor = nullptr;
}

}  // namespace e2e
