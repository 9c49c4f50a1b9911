// quellora-bench-reader: the reading end of the mailslot for the forwarding
// benchmark. Creates the mailslot, takes every message off it as fast as it
// can, checks each against the bench's message format and tells the bench
// how far it got over standard output. Driven by lines on standard input:
//
//   reset    forget counts and streams
//   push K   write "c COUNT" whenever COUNT becomes a multiple of K (0: never)
//   report   write "r COUNT BYTES BAD FOREIGN FIRST_US LAST_US" (arrival
//            times of the first and last message since reset, this
//            process's clock)
//   ping     write "p", so that the bench can time this pipe
//   quit     end; so does the end of standard input
//
//   quellora-bench-reader [--name NAME] [--max-seconds S]
//
// Writes "ready" once the mailslot exists. Ends by itself after S seconds
// (default 1800) so that a bench that died cannot leave it behind.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench/helpers/BenchPayload.h"

namespace {

constexpr DWORD kReadTimeoutMs = 200;  // how often the reading loop looks at the stop flag
constexpr DWORD kBufferSize = 1 << 20;

CRITICAL_SECTION gOutLock;
CRITICAL_SECTION gLock;  // the counters below
qrbench::TStreamCheck* gCheck = nullptr;
uint64_t gPush = 0;
int64_t gFirstUs = -1, gLastUs = -1;
volatile LONG gStop = 0;
LARGE_INTEGER gFreq, gStart;

int64_t NowUs() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return int64_t((t.QuadPart - gStart.QuadPart) * 1000000 / gFreq.QuadPart);
}

void Say(const std::string& line) {
    std::string text = line + "\n";
    EnterCriticalSection(&gOutLock);
    DWORD n = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), DWORD(text.size()), &n, nullptr);
    LeaveCriticalSection(&gOutLock);
}

struct TReaderArgs {
    HANDLE Slot;
    DWORD MaxMs;
};

DWORD WINAPI ReadLoop(void* p) {
    TReaderArgs args = *static_cast<TReaderArgs*>(p);
    std::string buffer(kBufferSize, '\0');
    DWORD startTick = GetTickCount();
    while (!gStop) {
        if (GetTickCount() - startTick > args.MaxMs) ExitProcess(3);
        DWORD n = 0;
        if (!ReadFile(args.Slot, buffer.data(), kBufferSize, &n, nullptr)) {
            DWORD e = GetLastError();
            if (e == ERROR_SEM_TIMEOUT) continue;
            // Wine reports the read of an empty message as a broken pipe.
            if (e != ERROR_BROKEN_PIPE) {
                Say("e ReadFile " + std::to_string(e));
                Sleep(kReadTimeoutMs);
                continue;
            }
            n = 0;
        }
        int64_t now = NowUs();
        EnterCriticalSection(&gLock);
        gCheck->Take(buffer.data(), n);
        if (gFirstUs < 0) gFirstUs = now;
        gLastUs = now;
        // Said under the lock, so that no count from before a reset can
        // follow the reset's answer.
        if (gPush && gCheck->Count % gPush == 0) Say("c " + std::to_string(gCheck->Count));
        LeaveCriticalSection(&gLock);
    }
    return 0;
}

// One line of standard input without its line end; false at its end.
bool ReadLine(std::string& line) {
    line.clear();
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    for (;;) {
        char c;
        DWORD n = 0;
        if (!ReadFile(in, &c, 1, &n, nullptr) || n == 0) return !line.empty();
        if (c == '\n') return true;
        if (c != '\r') line += c;
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::string name = "Quellora\\Messages";
    DWORD maxSeconds = 1800;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--name" && i + 1 < argc)
            name = argv[++i];
        else if (a == "--max-seconds" && i + 1 < argc)
            maxSeconds = DWORD(std::strtoul(argv[++i], nullptr, 10));
        else {
            std::fprintf(stderr, "usage: quellora-bench-reader [--name NAME] [--max-seconds S]\n");
            return 2;
        }
    }
    QueryPerformanceFrequency(&gFreq);
    QueryPerformanceCounter(&gStart);
    InitializeCriticalSection(&gOutLock);
    InitializeCriticalSection(&gLock);
    static qrbench::TStreamCheck check;
    gCheck = &check;

    std::string path = "\\\\.\\mailslot\\" + name;
    HANDLE slot = CreateMailslotA(path.c_str(), 0, kReadTimeoutMs, nullptr);
    if (slot == INVALID_HANDLE_VALUE) {
        Say("e CreateMailslot " + std::to_string(GetLastError()));
        return 1;
    }
    TReaderArgs args{slot, maxSeconds * 1000};
    HANDLE thread = CreateThread(nullptr, 0, ReadLoop, &args, 0, nullptr);
    Say("ready");

    std::string line;
    while (ReadLine(line)) {
        if (line == "reset") {
            EnterCriticalSection(&gLock);
            check.Reset();
            gFirstUs = gLastUs = -1;
            LeaveCriticalSection(&gLock);
        } else if (line.rfind("push ", 0) == 0) {
            EnterCriticalSection(&gLock);
            gPush = std::strtoull(line.c_str() + 5, nullptr, 10);
            LeaveCriticalSection(&gLock);
        } else if (line == "report") {
            EnterCriticalSection(&gLock);
            std::string r = "r " + std::to_string(check.Count) + " " + std::to_string(check.Bytes) + " " +
                            std::to_string(check.Bad) + " " + std::to_string(check.Foreign) + " " +
                            std::to_string(gFirstUs) + " " + std::to_string(gLastUs);
            LeaveCriticalSection(&gLock);
            Say(r);
        } else if (line == "ping") {
            Say("p");
        } else if (line == "quit") {
            break;
        }
    }
    InterlockedExchange(&gStop, 1);
    WaitForSingleObject(thread, 5000);
    CloseHandle(slot);
    return 0;
}
