#include "process/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <thread>

namespace qrtest {

TChild::TChild(const std::vector<std::string>& argv, bool talk, const std::vector<std::string>& env,
               const std::string& errFile, const std::string& outFile) {
    int toChild[2] = {-1, -1}, fromChild[2] = {-1, -1};
    if (talk && (pipe2(toChild, O_CLOEXEC) != 0 || pipe2(fromChild, O_CLOEXEC) != 0))
        throw std::runtime_error("pipe failed");
    FPid = fork();
    if (FPid < 0) throw std::runtime_error("fork failed");
    if (FPid == 0) {
        setpgid(0, 0);
        int null = open("/dev/null", O_RDWR);
        auto append = [null](const std::string& file) {
            int fd = file.empty() ? null : open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
            return fd < 0 ? null : fd;
        };
        dup2(talk ? toChild[0] : null, 0);
        dup2(talk ? fromChild[1] : append(outFile), 1);
        dup2(append(errFile), 2);
        for (const std::string& e : env) putenv(strdup(e.c_str()));
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    if (talk) {
        close(toChild[0]);
        close(fromChild[1]);
        FIn = toChild[1];
        FOut = fromChild[0];
        fcntl(FOut, F_SETFL, fcntl(FOut, F_GETFL) | O_NONBLOCK);
    }
}

TChild::~TChild() {
    if (Running()) Kill();
    if (FIn >= 0) close(FIn);
    if (FOut >= 0) close(FOut);
}

void TChild::Send(const std::string& line) {
    if (FIn < 0) return;
    std::string text = line + "\n";
    // Commands are short: one write of a pipe's atomic size.
    if (write(FIn, text.data(), text.size()) != ssize_t(text.size()))
        throw std::runtime_error("child input closed");
}

void TChild::CloseInput() {
    if (FIn >= 0) close(FIn);
    FIn = -1;
}

bool TChild::TakeLine(std::string& line) {
    size_t nl = FBuffer.find('\n');
    if (nl == std::string::npos) return false;
    line = FBuffer.substr(0, nl);
    FBuffer.erase(0, nl + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

std::optional<std::string> TChild::ReadLine(std::chrono::milliseconds timeout) {
    std::string line;
    auto end = Clock::now() + timeout;
    for (;;) {
        if (TakeLine(line)) return line;
        if (FOut < 0 || FEnded) return std::nullopt;
        char buf[4096];
        ssize_t n = read(FOut, buf, sizeof buf);
        if (n > 0) {
            FBuffer.append(buf, size_t(n));
            continue;
        }
        if (n == 0) {
            FEnded = true;
            continue;
        }
        if (errno != EAGAIN && errno != EINTR) {
            FEnded = true;
            continue;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
        if (left.count() <= 0) return std::nullopt;
        pollfd p{FOut, POLLIN, 0};
        poll(&p, 1, int(std::min<long>(left.count(), 1000)));
    }
}

std::optional<int> TChild::Wait(std::chrono::milliseconds timeout) {
    auto end = Clock::now() + timeout;
    while (!FExit) {
        int status = 0;
        pid_t r = waitpid(FPid, &status, WNOHANG);
        if (r == FPid) {
            FExit = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            break;
        }
        if (r < 0 || Clock::now() >= end) return r < 0 ? std::optional<int>(-1) : std::nullopt;
        std::this_thread::sleep_for(10ms);
    }
    return FExit;
}

void TChild::Signal(int sig) {
    if (!FExit) kill(FPid, sig);
}

void TChild::Kill() {
    if (FExit) return;
    kill(-FPid, SIGKILL);
    kill(FPid, SIGKILL);
    Wait(10s);
}

std::string WineLoader() { return "/usr/lib/wine/wine64"; }

std::vector<std::string> WineCommand(const std::string& winBuildDir, const std::string& exe,
                                     const std::vector<std::string>& args) {
    std::vector<std::string> argv{WineLoader(), winBuildDir + "/" + exe};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

}  // namespace qrtest
