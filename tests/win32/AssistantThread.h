#pragma once
// An assistant shown on a thread of its own while the test plays the user:
// the form in front, the next one, and the end. A test that fails leaves a
// form open: escape cancels it before the thread is joined.
#include <windows.h>

#include <atomic>
#include <functional>
#include <thread>

#include "tests/support/WindowTestKit_win32.h"

// A visible top-level window of the calling thread, standing in for the
// crash dialog as an assistant's owner.
inline HWND CreateOwnerWindow() {
    return CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100, nullptr,
                           nullptr, GetModuleHandleW(nullptr), nullptr);
}

class TAssistantThread {
public:
    explicit TAssistantThread(std::function<void()> body)
        : FThread([this, body = std::move(body)] {
              FThreadId = GetCurrentThreadId();
              body();
              FEnded = true;
          }) {}
    ~TAssistantThread() {
        while (!FEnded) {
            if (HWND form = Form()) PostMessageW(form, WM_KEYDOWN, VK_ESCAPE, 0);
            Sleep(50);
        }
        FThread.join();
    }
    TAssistantThread(const TAssistantThread&) = delete;
    TAssistantThread& operator=(const TAssistantThread&) = delete;

    HWND Form() const {
        HWND found = FindWindowW(L"TNVFormWndClass", nullptr);
        return found && GetWindowThreadProcessId(found, nullptr) == FThreadId ? found : nullptr;
    }
    // Waits for a shown form other than `previous`; null when none comes.
    HWND Next(HWND previous = nullptr) const {
        HWND form = nullptr;
        testkit::WaitFor(
            [&] { return (form = Form()) != nullptr && form != previous && IsWindowVisible(form); });
        return form;
    }
    bool Ended() const {
        return testkit::WaitFor([this] { return FEnded.load(); });
    }

private:
    std::atomic<DWORD> FThreadId{0};
    std::atomic<bool> FEnded{false};
    std::thread FThread;  // last: it starts once the rest is there
};
