// clang-format off
//! dialog continue=enabled
//! press continue
//! exit 0
//! report-block ^hardware:$ ;; ^the ending thread and its stack are gone$
//! report-block ^ending thread \(\$[0-9a-f]+\):$ ;; ^>> stack not accessible$
//! report ^exception class +: EEndedThreadCase$
//! report-count 1
// clang-format on
//
// A thread that is listed in the report ends before its stack is walked,
// and its stack is released: its section says ">> stack not accessible",
// and the report still completes. The last plug-in section, written before
// the other threads' stacks, ends it.
#include "tests/crash/CrashProgram.h"

namespace qr {
QR_DECLARE_EXCEPTION(EEndedThreadCase, Exception);
}

namespace {

struct TThreadEnd {
    HANDLE Release = nullptr;
    volatile const void* StackPlace = nullptr;  // a local of the thread
};

DWORD WINAPI WaitToEnd(void* parameter) {
    auto* end = static_cast<TThreadEnd*>(parameter);
    int local = 0;
    end->StackPlace = &local;
    WaitForSingleObject(end->Release, 120000);
    return 0;
}

bool Committed(volatile const void* place) {
    MEMORY_BASIC_INFORMATION info{};
    return VirtualQuery(const_cast<const void*>(place), &info, sizeof info) == sizeof info &&
           info.State == MEM_COMMIT;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace qr;
    crashtest::TCrashProgram program;
    // Wine releases an ended thread's stack when the next thread ends: a
    // second thread ends after it.
    TThreadEnd ending{CreateEventW(nullptr, TRUE, FALSE, nullptr)},
        next{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    HANDLE endingThread = CreateThread(nullptr, 0, &WaitToEnd, &ending, 0, nullptr);
    HANDLE nextThread = CreateThread(nullptr, 0, &WaitToEnd, &next, 0, nullptr);
    if (!ending.Release || !next.Release || !endingThread || !nextThread) return 10;
    while (!ending.StackPlace || !next.StackPlace) Sleep(1);
    program.Reporter.Threads()->Named(GetThreadId(endingThread), "ending thread");
    program.Reporter.RegisterPlugin({"hardware", "ends a listed thread", [&] {
                                         SetEvent(ending.Release);
                                         WaitForSingleObject(endingThread, 10000);
                                         SetEvent(next.Release);
                                         WaitForSingleObject(nextThread, 10000);
                                         // Bounded: the text says when the stack stayed.
                                         for (int i = 0; i < 500 && Committed(ending.StackPlace); ++i)
                                             Sleep(10);
                                         return AnsiString(Committed(ending.StackPlace)
                                                               ? "the ending thread's stack is still there"
                                                               : "the ending thread and its stack are gone");
                                     }});
    return program.RunFailing([] { throw EEndedThreadCase("A failure while a thread ends."); });
}
