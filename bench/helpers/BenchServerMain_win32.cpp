// quellora-bench-server: the program's command server, its connection loop
// and its mailslot writer, without window, tray or memo, so that the
// forwarding benchmark can tell which stage of the program costs what.
//
//   quellora-bench-server [--port P] [--name SLOT] --handoff queue|direct
//
// queue:  every message goes through the main-thread request queue, served
//         by a plain loop on the main thread (no window messages).
// direct: the connection thread writes the message itself, one writer
//         shared under a lock; no hand-off at all.
//
// Writes "ready" once it listens; ends on "quit" or at the end of standard
// input, and by itself after --max-seconds (default 1800).
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include "app/QLSyncClass.h"
#include "base/MainThreadQueue.h"
#include "link/MailSlotWriter.h"
#include "server/ConnectionLoop.h"
#include "server/IdTCPServer.h"

namespace {

using namespace qr;

std::atomic<bool> gStop{false};

void WatchInput() {
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    std::string line;
    for (;;) {
        char c;
        DWORD n = 0;
        if (!ReadFile(in, &c, 1, &n, nullptr) || n == 0) break;
        if (c != '\n') {
            if (c != '\r') line += c;
            continue;
        }
        if (line == "quit") break;
        line.clear();
    }
    gStop = true;
}

}  // namespace

int main(int argc, char** argv) {
    int port = 19150;
    std::string name = "Quellora\\Messages", handoff;
    unsigned maxSeconds = 1800;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--port" && i + 1 < argc)
            port = std::atoi(argv[++i]);
        else if (a == "--name" && i + 1 < argc)
            name = argv[++i];
        else if (a == "--handoff" && i + 1 < argc)
            handoff = argv[++i];
        else if (a == "--max-seconds" && i + 1 < argc)
            maxSeconds = unsigned(std::strtoul(argv[++i], nullptr, 10));
        else
            handoff = "?";
    }
    if (handoff != "queue" && handoff != "direct") {
        std::fprintf(stderr,
                     "usage: quellora-bench-server [--port P] [--name SLOT] --handoff queue|direct "
                     "[--max-seconds S]\n");
        return 2;
    }
    try {
        TMainThreadQueue queue;
        TMailSlotWriter writer(Utf8ToUnicode(name));
        std::mutex writerLock;
        TForwardTargets targets;
        targets.Writer = &writer;
        TIdTCPServer server(nullptr);
        server.SetDefaultPort(uint16_t(port));
        server.SetMainThreadQueue(&queue);
        if (handoff == "queue") {
            server.OnExecute = [&](TIdContext& context) {
                RunConnectionLoop(context.Connection(), [&](std::span<const UString> texts) {
                    TQLSyncClass::HandOff(queue, targets, texts);
                });
            };
        } else {
            server.OnExecute = [&](TIdContext& context) {
                RunConnectionLoop(context.Connection(), [&](std::span<const UString> texts) {
                    std::lock_guard<std::mutex> lock(writerLock);
                    for (const UString& text : texts) writer.WriteString(UnicodeToAnsi(text));
                });
            };
        }
        server.SetActive(true);
        std::printf("ready\n");
        std::fflush(stdout);
        std::thread(WatchInput).detach();
        DWORD start = GetTickCount();
        while (!gStop && GetTickCount() - start < maxSeconds * 1000u)
            queue.ServiceFor(std::chrono::milliseconds(100));
        queue.BeginShutdown();
        server.SetActive(false);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quellora-bench-server: %s\n", e.what());
        return 1;
    }
    return 0;
}
