#pragma once
// The shell calls of the tray icon go through here so that tests can see
// every call with the record it carried, without a real notification area.
#include <windows.h>
#include <shellapi.h>

#include <functional>

namespace qr {

using TShellNotifyIcon = std::function<BOOL(DWORD message, NOTIFYICONDATAW* data)>;

// The function every Shell_NotifyIconW call of the program goes through.
TShellNotifyIcon& ShellNotifyIcon();

}  // namespace qr
