// The command server without window or tray: listens on port 19150 (IPv4
// and IPv6), and its main thread forwards every message's 8-bit form to the
// "Quellora\Messages" mailslot. Ends cleanly on SIGINT or SIGTERM. Takes no
// arguments.
#include <malloc.h>
#include <pthread.h>

#include <csignal>
#include <cstdio>
#include <ctime>

#include "app/QLSyncClass.h"
#include "base/MainThreadQueue.h"
#include "base/Text.h"
#include "link/MailSlotWriter.h"
#include "server/ConnectionLoop.h"
#include "server/IdTCPServer.h"
#include "server/IdThreadSupport.h"

namespace {

using namespace qr;

constexpr uint16_t kPort = 19150;
// How often the main loop looks for a stop signal while no message arrives.
constexpr std::chrono::milliseconds kSignalPollPeriod{250};
// Blocks this large (a long message and its converted texts) come from the
// system and go back to it when freed. glibc would otherwise raise its
// threshold to the largest block freed so far and keep later ones in the
// connection threads' arenas, where an idle connection's share of them
// stays resident.
constexpr int kSystemBlockSize = 64 * 1024;

void ReportError(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const Exception& e) {
        std::fprintf(stderr, "%s: %s\n", e.ClassName(), e.what());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "unknown error\n");
    }
}

}  // namespace

int main() {
    mallopt(M_MMAP_THRESHOLD, kSystemBlockSize);
    // The stop signals are blocked in every thread (threads inherit the
    // mask) and taken by the main loop, which then tears down in order.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    AnnounceThreadName("Main");

    try {
        TMainThreadQueue queue;
        queue.SetErrorHandler(ReportError);
        // A stop signal ends the forwarding of what is still queued; the
        // signal stays pending for the loop below to take.
        queue.SetStopCheck([] {
            sigset_t pending;
            sigpending(&pending);
            return sigismember(&pending, SIGINT) == 1 || sigismember(&pending, SIGTERM) == 1;
        });
        TMailSlotWriter writer(u"Quellora\\Messages");
        // No window: nothing shows the message, the writer carries it.
        TForwardTargets targets;
        targets.Writer = &writer;
        TIdTCPServer server(nullptr);
        server.SetName("IdTCPServer1");
        server.SetDefaultPort(kPort);
        server.SetMainThreadQueue(&queue);
        server.OnExecute = [&queue, &targets](TIdContext& context) {
            RunConnectionLoop(context.Connection(), [&queue, &targets](std::span<const UString> texts) {
                TQLSyncClass::HandOff(queue, targets, texts);
            });
        };
        server.SetActive(true);

        for (;;) {
            queue.ServiceFor(kSignalPollPeriod);
            timespec noWait{0, 0};
            if (sigtimedwait(&stopSignals, nullptr, &noWait) > 0) break;
        }
        // Connection threads still waiting for the main thread are released
        // unserved, so the deactivation does not wait for them.
        queue.BeginShutdown();
        server.SetActive(false);
    } catch (...) {
        ReportError(std::current_exception());
        return 1;
    }
    return 0;
}
