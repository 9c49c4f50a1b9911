#include "app/tray/ShellSeam_win32.h"

namespace qr {

TShellNotifyIcon& ShellNotifyIcon() {
    static TShellNotifyIcon call = [](DWORD message, NOTIFYICONDATAW* data) {
        return Shell_NotifyIconW(message, data);
    };
    return call;
}

}  // namespace qr
