// The handler thread's pipe and its shutdown: a block of any other length
// than a request's is dropped whole and shifts nothing behind it; the
// shutdown lets a handling end, and otherwise returns only once the
// thread is gone.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "base/win32/Handles.h"
#include "crashreport/intercept/HandlerThread_win32.h"

namespace qr {
namespace {

constexpr DWORD kWait = 20000;  // a request's way through the pipe under a loaded Wine

struct THandled {
    std::mutex Lock;
    std::vector<uint32_t> Threads;
    std::vector<uintptr_t> StackPointers;
};

TExceptRequestRec RequestFor(HANDLE event, uint32_t threadId) {
    TExceptRequestRec request{};
    request.Event = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(event));
    request.ThreadId = threadId;
    request.StackPointer = 0x5000 + threadId;
    return request;
}

TEST(HandlerThread, BlocksOfAnyOtherLengthAreDroppedWholeAndShiftNothing) {
    THandled handled;
    THandlerThread thread([&](const TExceptRequestRec& request) {
        std::lock_guard<std::mutex> lock(handled.Lock);
        handled.Threads.push_back(request.ThreadId);
        handled.StackPointers.push_back(request.StackPointer);
    });
    ASSERT_NE(thread.ThreadId(), 0u);

    // Bytes that would make a request's front if they were put together
    // with what follows.
    TExceptRequestRec bogus = RequestFor(nullptr, 7);
    ASSERT_TRUE(thread.Write(&bogus, 10));
    std::vector<unsigned char> longer(sizeof(TExceptRequestRec) + 300, 0x11);
    ASSERT_TRUE(thread.Write(longer.data(), static_cast<DWORD>(longer.size())));

    for (uint32_t id : {41u, 42u}) {
        win32::THandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        ASSERT_TRUE(thread.Send(RequestFor(event.Get(), id)));
        ASSERT_EQ(WaitForSingleObject(event.Get(), kWait), WAIT_OBJECT_0)
            << "request " << id << " was not handled";
        ASSERT_TRUE(thread.Write(&bogus, 1));
    }
    std::lock_guard<std::mutex> lock(handled.Lock);
    EXPECT_EQ(handled.Threads, (std::vector<uint32_t>{41, 42}));
    EXPECT_EQ(handled.StackPointers, (std::vector<uintptr_t>{0x5000 + 41, 0x5000 + 42}));
}

TEST(HandlerThread, ShutdownLetsAHandlingEndOrReturnsOnlyWhenTheThreadIsGone) {
    // A handling that ends soon after the stop request is not cut short.
    std::atomic<bool> ended{false};
    win32::THandle started(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    auto thread = std::make_unique<THandlerThread>([&](const TExceptRequestRec&) {
        SetEvent(started.Get());
        Sleep(100);
        ended = true;
    });
    win32::THandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(thread->Send(RequestFor(event.Get(), 1)));
    ASSERT_EQ(WaitForSingleObject(started.Get(), kWait), WAIT_OBJECT_0);
    thread.reset();
    EXPECT_TRUE(ended.load());

    // One that never ends (a dialog nobody answers) is terminated; the
    // thread is gone by the time the shutdown returns.
    ResetEvent(started.Get());
    win32::THandle never(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    thread = std::make_unique<THandlerThread>([&](const TExceptRequestRec&) {
        SetEvent(started.Get());
        WaitForSingleObject(never.Get(), INFINITE);
    });
    win32::THandle handler(OpenThread(SYNCHRONIZE, FALSE, thread->ThreadId()));
    ASSERT_TRUE(handler);
    ASSERT_TRUE(thread->Send(RequestFor(event.Get(), 2)));
    ASSERT_EQ(WaitForSingleObject(started.Get(), kWait), WAIT_OBJECT_0);
    thread.reset();
    EXPECT_EQ(WaitForSingleObject(handler.Get(), 0), WAIT_OBJECT_0) << "the thread outlived its shutdown";
}

}  // namespace
}  // namespace qr
