#pragma once
// For crash programs that serve clients with a connection handler of their
// own instead of the main window's: the real main window, its server
// started again with that handler, which forwards to the window's own
// targets (the memo and the window's mailslot writer). The file
// "listening" in the program's folder tells the driver (script line
// "wait-file listening") that connections from now on reach the new
// handler; one accepted before it would have been closed by the restart.
#include <windows.h>

#include <memory>

#include "app/FormClasses.h"
#include "app/MainForm_win32.h"
#include "app/QLSyncClass.h"
#include "server/IdTCPServer.h"
#include "tests/crash/CrashProgram.h"

namespace qr::crashtest {

class TServedForm {
public:
    explicit TServedForm(TCrashProgram& program)
        : FProgram(program),
          Form(std::make_unique<TMainForm>(program.Application, program.Queue, LoadMainFormDescription())) {
        program.Application.OnCloseRequest = [this] { Form->Close(); };
    }

    void Serve(TIdTCPServer::TIdServerThreadEvent handler) {
        Form->IdTCPServer1->SetActive(false);
        Form->IdTCPServer1->OnExecute = std::move(handler);
        Form->IdTCPServer1->SetActive(true);
        HANDLE mark = CreateFileW(L"listening", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (mark != INVALID_HANDLE_VALUE) CloseHandle(mark);
    }

    // The main loop until the program ends, then the window goes.
    int Run() {
        int code = FProgram.Run();
        Form.reset();
        return code;
    }

private:
    TCrashProgram& FProgram;

public:
    std::unique_ptr<TMainForm> Form;
    const TForwardTargets& Targets() const { return Form->ForwardTargets(); }
};

}  // namespace qr::crashtest
