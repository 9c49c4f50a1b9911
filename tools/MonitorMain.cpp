// Stands in for the presentation program: creates the mailslot, prints
// every message as it arrives, as text a person reads, and can log them
// raw (the bytes as they came) for tests.
//
//   quellora-monitor [--name NAME] [--log FILE] [--count N] [--quiet] [--no-read]
//
// --log appends each message to FILE as a 4-byte little-endian length
// followed by the bytes; --count ends after N messages. --no-read creates
// the mailslot and never reads it, like a presentation program that hangs.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "tools/MailSlotReader.h"
#include "tools/PrintLine.h"
#include "tools/ShownText.h"

namespace {

volatile std::sig_atomic_t gStop = 0;
void OnSignal(int) { gStop = 1; }

int Usage() {
    std::fprintf(stderr,
                 "usage: quellora-monitor [--name NAME] [--log FILE] [--count N] [--quiet] [--no-read]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string name = "Quellora\\Messages", logPath;
    long count = -1;
    bool quiet = false, noRead = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--name" && i + 1 < argc)
            name = argv[++i];
        else if (a == "--log" && i + 1 < argc)
            logPath = argv[++i];
        else if (a == "--count" && i + 1 < argc)
            count = std::strtol(argv[++i], nullptr, 10);
        else if (a == "--quiet")
            quiet = true;
        else if (a == "--no-read")
            noRead = true;
        else
            return Usage();
    }
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    try {
        auto reader = qr::CreateMailSlotReader(qr::Utf8ToUnicode(name));
        FILE* log = nullptr;
        if (!logPath.empty() && !(log = std::fopen(logPath.c_str(), "ab"))) {
            std::fprintf(stderr, "cannot open %s\n", logPath.c_str());
            return 1;
        }
        qr::PrintLine(u"monitoring \\\\.\\mailslot\\" + qr::Utf8ToUnicode(name));
        if (noRead) {
            while (!gStop) std::this_thread::sleep_for(std::chrono::milliseconds(200));
            return 0;
        }
        for (long n = 0; !gStop && (count < 0 || n < count);) {
            auto msg = reader->Receive(200);
            if (!msg) continue;
            ++n;
            if (log) {
                unsigned char len[4];
                uint32_t size = uint32_t(msg->size());
                for (int k = 0; k < 4; ++k) len[k] = (unsigned char)(size >> (8 * k));
                std::fwrite(len, 1, 4, log);
                std::fwrite(msg->data(), 1, msg->size(), log);
                std::fflush(log);
            }
            if (!quiet) {
                const std::string lead =
                    "#" + std::to_string(n) + " " + std::to_string(msg->size()) + " bytes: ";
                qr::PrintLine(qr::Utf8ToUnicode(lead) + qr::ShownText(*msg));
            }
        }
        if (log) std::fclose(log);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quellora-monitor: %s\n", e.what());
        return 1;
    }
    return 0;
}
