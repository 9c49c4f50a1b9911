// clang-format off
//! storm 36
//! exit 0
//! reports-whole
// clang-format on
//
// A storm of failures: 8 threads report 4 failures each and go on, and
// 4 of them end with an access violation afterwards; every dialog is
// answered with "continue application". Every thread must end as it
// should, the main thread must still run hand-offs, and the report file
// must hold whole reports within its size limit.
#include <thread>
#include <vector>

#include "tests/crash/CrashProgram.h"

namespace qr {
QR_DECLARE_EXCEPTION(EStormFailure, Exception);
}

namespace {

constexpr int kThreads = 8, kFailuresEach = 4;

struct TStorm {
    qr::crashtest::TCrashProgram* Program;
    int Index;
};

DWORD WINAPI Storming(void* parameter) {
    auto* storm = static_cast<TStorm*>(parameter);
    for (int i = 0; i < kFailuresEach; ++i) {
        try {
            throw qr::EStormFailure("One of many.");
        } catch (...) {
            storm->Program->Reporter.ReportException(std::current_exception(),
                                                     qr::TInterceptionPoint::ShowException, true);
        }
    }
    if (storm->Index % 2 == 0) {
        // An address the compiler cannot see through.
        volatile uintptr_t nowhere = 0x10;
        *reinterpret_cast<int*>(nowhere) = storm->Index;
    }
    return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace qr;
    crashtest::TCrashProgram program;
    std::vector<TStorm> storms;
    for (int i = 0; i < kThreads; ++i) storms.push_back({&program, i});
    std::vector<HANDLE> threads;
    for (TStorm& storm : storms) threads.push_back(CreateThread(nullptr, 0, &Storming, &storm, 0, nullptr));
    int result = 0;
    // Waits for the storm off the main thread, which keeps its loop (and
    // the hand-offs) running meanwhile; the driver answers every dialog.
    std::thread watcher([&] {
        if (WaitForMultipleObjects(kThreads, threads.data(), TRUE, 600000) != WAIT_OBJECT_0) result = 30;
        for (int i = 0; i < kThreads; ++i) {
            DWORD code = 0;
            GetExitCodeThread(threads[i], &code);
            if (code != (i % 2 == 0 ? 0xFFFFFFFF : 0)) result = 40 + i;
        }
        bool handedOff = false;
        program.Queue.Execute([&] { handedOff = true; });
        if (!handedOff) result = 32;
        program.Queue.Execute([] { PostQuitMessage(0); });
    });
    int code = program.Run();
    watcher.join();
    for (HANDLE thread : threads) CloseHandle(thread);
    return result ? result : code;
}
