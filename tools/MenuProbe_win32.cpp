// quellora-menuprobe.dll: loaded into the running program by
// "quellora-poke menu-text", it reads the items of the program's open popup
// menu from inside the program (menus are private to their process under
// Wine) and hands them back through a file in the temporary folder. For
// tests only; the program itself knows nothing of it.
#include <windows.h>

#include <string>

namespace {

// The open popup menu of this process, if any.
struct TSearch {
    DWORD Pid;
    HWND Found;
};

BOOL CALLBACK FindOwnMenu(HWND window, LPARAM lParam) {
    auto* s = reinterpret_cast<TSearch*>(lParam);
    wchar_t cls[16] = {};
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == s->Pid && GetClassNameW(window, cls, 16) && std::wstring(cls) == L"#32768" &&
        IsWindowVisible(window)) {
        s->Found = window;
        return FALSE;
    }
    return TRUE;
}

std::wstring ResultPath() {
    wchar_t dir[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, dir);
    return std::wstring(dir) + L"quellora-menu-text.txt";
}

// Writes one UTF-16 line per item, then signals the waiting poke.
DWORD WINAPI Probe(void*) {
    TSearch s{GetCurrentProcessId(), nullptr};
    EnumWindows(FindOwnMenu, reinterpret_cast<LPARAM>(&s));
    std::wstring text;
    HMENU menu = s.Found ? reinterpret_cast<HMENU>(SendMessageW(s.Found, MN_GETHMENU, 0, 0)) : nullptr;
    int count = menu ? GetMenuItemCount(menu) : 0;
    for (int i = 0; i < count; ++i) {
        wchar_t item[256] = {};
        GetMenuStringW(menu, UINT(i), item, 256, MF_BYPOSITION);
        text += item;
        text += L"\n";
    }
    HANDLE file = CreateFileW(ResultPath().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, text.data(), DWORD(text.size() * sizeof(wchar_t)), &written, nullptr);
        CloseHandle(file);
    }
    if (HANDLE done = OpenEventW(EVENT_MODIFY_STATE, FALSE, L"QuelloraMenuProbeDone")) {
        SetEvent(done);
        CloseHandle(done);
    }
    return 0;
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, void*) {
    // The reading runs on a thread of its own once the loader is done:
    // sending a window message while the loader lock is held could stall.
    if (reason == DLL_PROCESS_ATTACH) {
        if (HANDLE t = CreateThread(nullptr, 0, Probe, nullptr, 0, nullptr)) CloseHandle(t);
    }
    return TRUE;
}
