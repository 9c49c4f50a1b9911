#include "crashreport/intercept/Restart_win32.h"

#include <windows.h>

#include <cstring>
#include <string>

#include "base/win32/Handles.h"
#include "base/win32/WideText.h"
#include "crashreport/settings/KernelObjectNames.h"
#include "crashreport/system/ModuleFiles_win32.h"

namespace qr {

namespace {

UString HandOverName(DWORD processId) { return ProcessObjectName(u"TobriskRestart", processId); }

// The current folder, however long.
std::wstring CurrentFolder() {
    DWORD size = GetCurrentDirectoryW(0, nullptr);
    for (int tries = 0; tries < 3 && size; ++tries) {
        std::wstring folder(size, L'\0');
        DWORD length = GetCurrentDirectoryW(size, folder.data());
        if (length < size) {
            folder.resize(length);
            return folder;
        }
        size = length + 1;  // it grew meanwhile
    }
    return {};
}

// The new instance in the same folder. One longer than a process's current
// folder may be (MAX_PATH with its closing backslash) is not handed on:
// Windows refuses it, and Wine refuses or cuts it. The new instance then
// starts in the program's folder, since the program reads and writes
// nothing relative to its current folder, rather than not at all.
bool StartSuspended(const std::wstring& program, std::wstring commandLine, PROCESS_INFORMATION& started) {
    std::wstring current = CurrentFolder();
    const std::wstring folder = current.size() + 2 > MAX_PATH ? std::wstring() : std::move(current);
    const std::wstring programFolder = program.substr(0, program.find_last_of(L'\\') + 1);
    for (const std::wstring* in : {&folder, &programFolder}) {
        if (in->empty()) continue;
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        std::wstring line = commandLine;  // CreateProcessW may write into it
        if (CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                           in->c_str(), &startup, &started))
            return true;
    }
    return false;
}

[[noreturn]] void EndProcess(UINT exitCode) {
    TerminateProcess(GetCurrentProcess(), exitCode);
    ExitProcess(exitCode);  // not reached
}

}  // namespace

std::optional<TRestartHandOver> TakeOverRestart() {
    win32::THandle mapping(
        OpenFileMappingW(FILE_MAP_READ, FALSE, win32::Wide(HandOverName(GetCurrentProcessId()))));
    if (!mapping) return std::nullopt;
    TRestartHandOver block;
    {
        win32::TMappedView view(MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, TRestartHandOver::kSize));
        if (!view) return std::nullopt;
        unsigned char bytes[TRestartHandOver::kSize];
        std::memcpy(bytes, view.Get(), sizeof bytes);
        block = ReadRestartHandOver(bytes);
    }
    // The old process put a handle of the block into this process so that
    // the block outlives it; that handle is ours to close.
    CloseHandle(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(block.BlockHandle)));
    // Without limit: the old process ends right after it let this one run.
    win32::THandle old(OpenProcess(SYNCHRONIZE, FALSE, block.OldProcessId));
    if (old) WaitForSingleObject(old.Get(), INFINITE);
    return block;
}

void RestartProgram(const TExceptTimeHistory& history) {
    PROCESS_INFORMATION started{};
    if (!StartSuspended(ModuleFileName(nullptr), GetCommandLineW(), started)) CloseProgram();
    win32::THandle process(started.hProcess), thread(started.hThread);

    win32::THandle mapping(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                              TRestartHandOver::kSize,
                                              win32::Wide(HandOverName(started.dwProcessId))));
    HANDLE inNewProcess = nullptr;
    if (mapping && DuplicateHandle(GetCurrentProcess(), mapping.Get(), process.Get(), &inNewProcess, 0, FALSE,
                                   DUPLICATE_SAME_ACCESS)) {
        win32::TMappedView view(MapViewOfFile(mapping.Get(), FILE_MAP_WRITE, 0, 0, TRestartHandOver::kSize));
        if (view) {
            TRestartHandOver block;
            block.OldProcessId = GetCurrentProcessId();
            block.BlockHandle = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(inNewProcess));
            block.History = history.Times();
            unsigned char bytes[TRestartHandOver::kSize];
            WriteRestartHandOver(block, bytes);
            std::memcpy(view.Get(), bytes, sizeof bytes);
        }
    }
    ResumeThread(thread.Get());
    EndProcess(2);
}

void CloseProgram() { EndProcess(1); }

}  // namespace qr
