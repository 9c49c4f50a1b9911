#pragma once
// A window that is never shown and only receives messages (the timers' and
// the popup menus' companions, the tray icon's handler). Destroyed with
// its owner.
#include <windows.h>

#include <functional>
#include <memory>

#include "base/win32/Handles.h"

namespace qr {

// Answers every message the window gets.
using TWindowMethod = std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)>;

class THiddenWindow {
public:
    THiddenWindow(const wchar_t* className, TWindowMethod proc);
    ~THiddenWindow();
    THiddenWindow(const THiddenWindow&) = delete;
    THiddenWindow& operator=(const THiddenWindow&) = delete;
    HWND Handle() const { return FWindow.Get(); }

private:
    // Held apart from the window so that messages during destruction find
    // it still alive.
    std::unique_ptr<TWindowMethod> FProc;
    win32::TWindowHandle FWindow;
};

}  // namespace qr
