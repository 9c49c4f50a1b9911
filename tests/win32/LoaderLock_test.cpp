// When the crash reporter takes the loader lock as held: the environment
// lock does not count for it, a moment's hold by another thread does not
// either, a hold that lasts does, and this thread's own hold at once.
#include <windows.h>

#include <gtest/gtest.h>

#include <thread>

#include "base/win32/Handles.h"
#include "crashreport/intercept/LoaderLock_win32.h"
#include "tests/support/SystemLocks_win32.h"

namespace qr {
namespace {

constexpr DWORD kWait = 20000;

// Holds one lock in a thread of its own from Start() until Stop(), or for
// `moment` milliseconds.
class THolder {
public:
    THolder(bool loader, DWORD moment = INFINITE) : FLoader(loader), FMoment(moment) {}
    ~THolder() { Stop(); }
    bool Start() {
        FThread = std::thread([this] {
            FLoader ? FLocks.AcquireLoader() : FLocks.AcquireEnvironment();
            SetEvent(FHeld.Get());
            WaitForSingleObject(FStop.Get(), FMoment);
            FLoader ? FLocks.ReleaseLoader() : FLocks.ReleaseEnvironment();
        });
        return WaitForSingleObject(FHeld.Get(), kWait) == WAIT_OBJECT_0;
    }
    void Stop() {
        SetEvent(FStop.Get());
        if (FThread.joinable()) FThread.join();
    }

private:
    testkit::TSystemLocks FLocks;
    bool FLoader;
    DWORD FMoment;
    win32::THandle FHeld{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    win32::THandle FStop{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::thread FThread;
};

TEST(LoaderLock, OnlyALoaderLockThatStaysHeldCounts) {
    ASSERT_TRUE(testkit::TSystemLocks().Available());
    EXPECT_FALSE(LoaderLockHeld());
    EXPECT_FALSE(LoaderLockStaysHeld());
    {
        THolder environment(false);
        ASSERT_TRUE(environment.Start());
        EXPECT_FALSE(LoaderLockHeld());
        EXPECT_FALSE(LoaderLockStaysHeld());
        EXPECT_TRUE(LoaderOrEnvironmentLockStaysHeld()) << "the failing thread still minds it";
    }
    {
        THolder moment(true, 60);
        ASSERT_TRUE(moment.Start());
        EXPECT_FALSE(LoaderLockStaysHeld()) << "a moment's hold counted";
    }
    {
        THolder lasting(true);
        ASSERT_TRUE(lasting.Start());
        EXPECT_TRUE(LoaderLockHeld());
        EXPECT_TRUE(LoaderLockStaysHeld());
    }
    testkit::TSystemLocks own;
    own.AcquireLoader();
    const bool ownHeld = LoaderLockStaysHeld();
    own.ReleaseLoader();
    EXPECT_TRUE(ownHeld);
}

}  // namespace
}  // namespace qr
