#pragma once
// For crash programs that serve clients with a connection handler of their
// own instead of the main window's: the real main window's server, started
// again with that handler. The file "listening" in the program's folder
// tells the driver (script line "wait-file listening") that connections
// from now on reach the new handler; one accepted before it would have
// been closed by the restart.
#include <windows.h>

#include "app/MainForm_win32.h"
#include "server/IdTCPServer.h"

namespace qr::crashtest {

inline void ServeWith(TMainForm& form, TIdTCPServer::TIdServerThreadEvent handler) {
    form.IdTCPServer1->SetActive(false);
    form.IdTCPServer1->OnExecute = std::move(handler);
    form.IdTCPServer1->SetActive(true);
    HANDLE mark = CreateFileW(L"listening", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (mark != INVALID_HANDLE_VALUE) CloseHandle(mark);
}

}  // namespace qr::crashtest
