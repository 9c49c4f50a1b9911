// clang-format off
//! wait-file listening
//! client-send first one
//! forwarded one
//! client-send first two
//! forwarded two
//! client-send second alpha
//! forwarded alpha
//! client-send first three
//! disconnected first
//! client-send second beta
//! forwarded beta
//! no-dialog
//! post-close
//! exit 0 5
//! no-report
// clang-format on
//
// A connection handler that writes through a null pointer on the third
// message of its connection: as any error in a connection thread, the
// fault ends that connection silently and with its whole cleanup (its
// socket closed, its context and thread gone from the server's lists), so
// another client goes on being served and the program still ends at once
// when it is closed. No dialog, no report.
#include "server/ConnectionLoop.h"
#include "tests/crash/CrashProgram.h"
#include "tests/crash/FormServer.h"

namespace {

struct TRecord {
    int Before[6];
    int Field;
};

TRecord* volatile gRecord = nullptr;

__attribute__((noinline)) void Store(TRecord* record, int value) { record->Field = value; }

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace qr;
    crashtest::TCrashProgram program;
    crashtest::TServedForm served(program);
    served.Serve([&](TIdContext& context) {
        int received = 0;
        RunConnectionLoop(context.Connection(), [&](std::span<const UString> texts) {
            for (size_t i = 0; i < texts.size(); ++i)
                if (++received == 3) Store(gRecord, received);
            TQLSyncClass::HandOff(program.Queue, served.Targets(), texts);
        });
    });
    return served.Run();
}
