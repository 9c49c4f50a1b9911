#pragma once
// What the Windows tests and the crash-test driver share for looking at
// windows from outside: a bounded poll and the clipboard's text.
#include <windows.h>

#include <chrono>
#include <string>
#include <thread>

namespace testkit {

// Polls `check` every 20 ms until it holds or `limit` has passed; answers
// whether it held.
template <class Check>
bool WaitFor(Check check, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (check()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return check();
}

// The clipboard's text; empty when there is none or the clipboard is busy.
inline std::wstring ClipboardText() {
    std::wstring text;
    if (!OpenClipboard(nullptr)) return text;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
            text = chars;
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return text;
}

namespace detail {

struct TFindWindow {
    DWORD Process;
    const wchar_t* ClassName;
    bool VisibleOnly;
    HWND Found = nullptr;
};

inline BOOL CALLBACK FindOne(HWND window, LPARAM parameter) {
    auto* find = reinterpret_cast<TFindWindow*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    if (owner != find->Process || std::wstring(name) != find->ClassName) return TRUE;
    if (find->VisibleOnly && !IsWindowVisible(window)) return TRUE;
    find->Found = window;
    return FALSE;
}

}  // namespace detail

// A top-level window of that class in the process (a visible one unless
// `visibleOnly` is false), or null.
inline HWND FindProcessWindow(DWORD process, const wchar_t* className, bool visibleOnly = true) {
    detail::TFindWindow find{process, className, visibleOnly};
    EnumWindows(&detail::FindOne, reinterpret_cast<LPARAM>(&find));
    return find.Found;
}

}  // namespace testkit
