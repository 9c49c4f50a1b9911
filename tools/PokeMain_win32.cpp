// Drives the running program from inside its Wine prefix the way Windows
// and a user would: posts the messages the shell and the window manager
// send, reads and types control texts, presses buttons, and reports the
// window's layout. For tests and for people looking at the program.
//
//   quellora-poke close                 close request to the main window
//   quellora-poke forms                 prints how many copies have built their main window
//   quellora-poke close-all             close request to every instance's main window
//   quellora-poke app-close             close request to the application window
//   quellora-poke restore               SC_RESTORE to the application window
//   quellora-poke endsession            WM_ENDSESSION (logon ends) to the application window
//   quellora-poke set NAME TEXT         sets the text of control NAME (UTF-8)
//   quellora-poke get NAME              prints the text of control NAME
//   quellora-poke click NAME            presses button NAME
//   quellora-poke layout                prints caption, client size and each control in tab order
//   quellora-poke box                   prints the program's message box or crash dialog, if any
//                                       (the crash dialog's text: the exception message it copies)
//   quellora-poke dismiss               prints and closes it ("continue application" on the
//                                       crash dialog)
//   quellora-poke tray-rbutton [ID]     right click on the tray icon, as the shell reports it
//   quellora-poke tray-lbutton [ID]     left click on the tray icon
//   quellora-poke tray-dblclick [ID]    left double click on the tray icon
//   quellora-poke tray-pid              prints the process id of the newest copy with a tray icon
//   quellora-poke tray-visible          prints how many windows of that copy are visible
//                                       (message boxes aside)
//   quellora-poke menu                  prints the open popup menu's place and, where readable, items
//   quellora-poke menu choose N         chooses item N (from 0) of the open popup menu
//   quellora-poke menu-text             prints the open popup menu's items as the program reads
//                                       them (loads quellora-menuprobe.dll into the program)
//   quellora-poke stats                 prints pid, threads, private and working-set bytes of the newest
//                                       running quellora-remote.exe
//
// ID is the tray icon's identity; the program's only icon has 1. With
// several copies running, the tray and menu commands address the newest.
//
// Controls are found by their text-independent position in creation order.
#include <windows.h>
// After windows.h, which they need.
#include <psapi.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const char* const kControlNames[] = {"TntLabel1", "TntLabel2", "TntLabel3",  "edAction",
                                     "edParam1",  "edParam2",  "TntButton1", "Memo1"};

std::string Utf8(const std::wstring& w) {
    if (w.empty()) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), int(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(size_t(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), int(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

std::wstring Wide(const std::string& s) {
    if (s.empty()) return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), int(s.size()), nullptr, 0);
    std::wstring w(size_t(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), int(s.size()), w.data(), n);
    return w;
}

// WM_GETTEXT itself: GetWindowText does not ask a window of another
// process, and an edit control keeps its text to itself.
std::wstring TextOf(HWND h) {
    LRESULT n = SendMessageW(h, WM_GETTEXTLENGTH, 0, 0);
    std::wstring w(size_t(n) + 1, L'\0');
    n = SendMessageW(h, WM_GETTEXT, WPARAM(n + 1), reinterpret_cast<LPARAM>(w.data()));
    w.resize(size_t(n > 0 ? n : 0));
    return w;
}

HWND MainForm() { return FindWindowW(L"TMainForm", nullptr); }
HWND AppWindow() { return FindWindowW(L"TApplication", nullptr); }

// Children in creation order (z-order from the top is creation order).
std::vector<HWND> Children(HWND form) {
    std::vector<HWND> out;
    for (HWND c = GetWindow(form, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) out.push_back(c);
    return out;
}

// The window creates labels first, then the focusable controls in tab
// order, which is the order of kControlNames.
HWND Control(const std::string& name) {
    HWND form = MainForm();
    if (!form) return nullptr;
    std::vector<HWND> kids = Children(form);
    for (size_t i = 0; i < kids.size() && i < std::size(kControlNames); ++i)
        if (name == kControlNames[i]) return kids[i];
    return nullptr;
}

int Fail(const char* what) {
    std::fprintf(stderr, "quellora-poke: %s\n", what);
    return 1;
}

int Layout() {
    HWND form = MainForm();
    if (!form) return Fail("no main window");
    RECT client;
    GetClientRect(form, &client);
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    std::printf("caption=%s client=%ldx%ld dpi=%d visible=%d\n", Utf8(TextOf(form)).c_str(), client.right,
                client.bottom, dpi, IsWindowVisible(form) ? 1 : 0);
    std::vector<HWND> kids = Children(form);
    for (size_t i = 0; i < kids.size(); ++i) {
        RECT r;
        GetWindowRect(kids[i], &r);
        MapWindowPoints(nullptr, form, reinterpret_cast<POINT*>(&r), 2);
        wchar_t cls[64];
        GetClassNameW(kids[i], cls, 64);
        LONG style = GetWindowLongW(kids[i], GWL_STYLE);
        std::printf("%s class=%s rect=%ld,%ld,%ld,%ld tabstop=%d multiline=%d text=%s\n",
                    i < std::size(kControlNames) ? kControlNames[i] : "?", Utf8(cls).c_str(), r.left, r.top,
                    r.right - r.left, r.bottom - r.top, (style & WS_TABSTOP) ? 1 : 0,
                    (style & ES_MULTILINE) && Utf8(cls) == "Edit" ? 1 : 0, Utf8(TextOf(kids[i])).c_str());
    }
    // The order Tab moves the focus in, from the first control.
    std::printf("taborder=");
    HWND first = GetNextDlgTabItem(form, nullptr, FALSE);
    HWND c = first;
    for (int guard = 0; c && guard < 16; ++guard) {
        for (size_t i = 0; i < kids.size(); ++i)
            if (kids[i] == c) std::printf("%s ", i < std::size(kControlNames) ? kControlNames[i] : "?");
        c = GetNextDlgTabItem(form, c, FALSE);
        if (c == first) break;
    }
    std::printf("\n");
    return 0;
}

struct TBoxSearch {
    DWORD Pid;
    HWND Found;
};

BOOL CALLBACK FindBox(HWND h, LPARAM p) {
    auto* s = reinterpret_cast<TBoxSearch*>(p);
    wchar_t cls[32];
    GetClassNameW(h, cls, 32);
    if ((std::wstring(cls) == L"#32770" || std::wstring(cls) == L"TobriskWndClass") && IsWindowVisible(h)) {
        s->Found = h;
        return FALSE;
    }
    return TRUE;
}

std::wstring ClipboardText() {
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

// The crash dialog draws its text itself; it hands the exception message
// to the clipboard on Ctrl+C.
std::wstring CrashDialogMessage(HWND dialog) {
    if (OpenClipboard(nullptr)) {
        EmptyClipboard();
        CloseClipboard();
    }
    PostMessageW(dialog, WM_CHAR, 3, 0);
    std::wstring text;
    for (int i = 0; i < 100 && text.empty(); ++i) {
        Sleep(20);
        text = ClipboardText();
    }
    return text;
}

// Prints the message box or crash dialog; with `close`, presses its OK
// (or "continue application") button.
int PrintMessageBox(bool close) {
    TBoxSearch s{0, nullptr};
    EnumWindows(FindBox, reinterpret_cast<LPARAM>(&s));
    if (!s.Found) return Fail("no message box");
    wchar_t cls[32];
    GetClassNameW(s.Found, cls, 32);
    const bool crashDialog = std::wstring(cls) == L"TobriskWndClass";
    std::wstring text;
    if (crashDialog) {
        text = CrashDialogMessage(s.Found);
    } else {
        for (HWND c = GetWindow(s.Found, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
            GetClassNameW(c, cls, 16);
            if (std::wstring(cls) == L"Static" && GetWindowTextLengthW(c) > 0) text += TextOf(c);
        }
    }
    std::printf("caption=%s\ntext=%s\n", Utf8(TextOf(s.Found)).c_str(), Utf8(text).c_str());
    if (close) {
        constexpr int kContinueButton = 104;
        if (crashDialog)
            PostMessageW(GetDlgItem(s.Found, kContinueButton), BM_CLICK, 0, 0);
        else
            PostMessageW(s.Found, WM_COMMAND, IDOK, 0);
    }
    return 0;
}

// Several copies of the program may run in one Wine prefix; the tray
// commands talk to the newest one (the one a test has just started).
struct TNewest {
    HWND Window = nullptr;
    ULONGLONG Created = 0;
};

ULONGLONG ProcessStart(DWORD pid) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process) return 0;
    FILETIME created{}, exited{}, kernel{}, user{};
    ULONGLONG t = 0;
    if (GetProcessTimes(process, &created, &exited, &kernel, &user))
        t = (ULONGLONG(created.dwHighDateTime) << 32) | created.dwLowDateTime;
    CloseHandle(process);
    return t;
}

BOOL CALLBACK FindNewestHandler(HWND h, LPARAM p) {
    wchar_t cls[32];
    GetClassNameW(h, cls, 32);
    if (std::wstring(cls) != L"TTrayIconHandler") return TRUE;
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    auto* newest = reinterpret_cast<TNewest*>(p);
    ULONGLONG created = ProcessStart(pid);
    if (!newest->Window || created > newest->Created) *newest = {h, created};
    return TRUE;
}

HWND TrayHandler() {
    TNewest newest;
    EnumWindows(FindNewestHandler, reinterpret_cast<LPARAM>(&newest));
    return newest.Window;
}

// The callbacks the shell posts for mouse events on the icon.
int Tray(const std::string& cmd, UINT id) {
    HWND handler = TrayHandler();
    if (!handler) return Fail("no tray icon handler window");
    const UINT kCallback = 0x0800;
    std::vector<UINT> events;
    if (cmd == "tray-rbutton") events = {WM_RBUTTONDOWN, WM_RBUTTONUP};
    if (cmd == "tray-lbutton") events = {WM_LBUTTONDOWN, WM_LBUTTONUP};
    if (cmd == "tray-dblclick") events = {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP};
    for (UINT e : events) PostMessageW(handler, kCallback, id, LPARAM(e));
    return 0;
}

struct TMenuSearch {
    DWORD Pid;
    HWND Found;
};

BOOL CALLBACK FindOpenMenu(HWND h, LPARAM p) {
    auto* s = reinterpret_cast<TMenuSearch*>(p);
    wchar_t cls[16];
    GetClassNameW(h, cls, 16);
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    if (std::wstring(cls) == L"#32768" && IsWindowVisible(h) && pid == s->Pid) {
        s->Found = h;
        return FALSE;
    }
    return TRUE;
}

// The open popup menu of the newest copy of the program.
HWND OpenMenuWindow() {
    HWND handler = TrayHandler();
    if (!handler) return nullptr;
    TMenuSearch s{0, nullptr};
    GetWindowThreadProcessId(handler, &s.Pid);
    EnumWindows(FindOpenMenu, reinterpret_cast<LPARAM>(&s));
    return s.Found;
}

struct TVisibleCount {
    DWORD Pid;
    int Count;
};

BOOL CALLBACK CountVisible(HWND h, LPARAM p) {
    auto* c = reinterpret_cast<TVisibleCount*>(p);
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    wchar_t cls[16];
    GetClassNameW(h, cls, 16);
    if (pid == c->Pid && IsWindowVisible(h) && std::wstring(cls) != L"#32770") ++c->Count;
    return TRUE;
}

// A close request to every instance's main window.
BOOL CALLBACK CountMainForms(HWND h, LPARAM count) {
    wchar_t cls[32];
    GetClassNameW(h, cls, 32);
    if (std::wstring(cls) == L"TMainForm") ++*reinterpret_cast<int*>(count);
    return TRUE;
}

BOOL CALLBACK CloseMainForm(HWND h, LPARAM) {
    wchar_t cls[32];
    GetClassNameW(h, cls, 32);
    if (std::wstring(cls) == L"TMainForm") PostMessageW(h, WM_CLOSE, 0, 0);
    return TRUE;
}

// Loads the probe library, which sits beside this program, into the
// process that shows the open menu; the probe writes the items to a file
// in the temporary folder and sets an event when done.
int MenuText() {
    HWND window = OpenMenuWindow();
    if (!window) return Fail("no open menu");
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring dll(self);
    dll = dll.substr(0, dll.find_last_of(L"\\") + 1) + L"quellora-menuprobe.dll";
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring result = std::wstring(temp) + L"quellora-menu-text.txt";
    DeleteFileW(result.c_str());

    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, L"QuelloraMenuProbeDone");
    HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, pid);
    if (!done || !process) return Fail("cannot open the program's process");
    size_t bytes = (dll.size() + 1) * sizeof(wchar_t);
    void* remote = VirtualAllocEx(process, nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    bool ok = remote && WriteProcessMemory(process, remote, dll.c_str(), bytes, nullptr);
    auto loadLibrary = reinterpret_cast<LPTHREAD_START_ROUTINE>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "LoadLibraryW")));
    HANDLE thread = ok ? CreateRemoteThread(process, nullptr, 0, loadLibrary, remote, 0, nullptr) : nullptr;
    // Bounded: a program that does not answer within this time fails the test.
    bool answered = thread && WaitForSingleObject(done, 10000) == WAIT_OBJECT_0;
    if (thread) CloseHandle(thread);
    CloseHandle(process);
    CloseHandle(done);
    if (!answered) return Fail("the menu probe did not answer");
    HANDLE file =
        CreateFileW(result.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return Fail("no menu text");
    std::wstring text(4096, L'\0');
    DWORD read = 0;
    ReadFile(file, text.data(), DWORD(text.size() * sizeof(wchar_t)), &read, nullptr);
    CloseHandle(file);
    text.resize(read / sizeof(wchar_t));
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find(L'\n', at);
        std::printf("item=%s\n", Utf8(text.substr(at, end - at)).c_str());
        at = end == std::wstring::npos ? text.size() : end + 1;
    }
    return 0;
}

int Menu(int argc, char** argv) {
    HWND window = OpenMenuWindow();
    if (!window) return Fail("no open menu");
    // Menus are private to their process under Wine: the items can be read
    // only where the system shares them; the window itself is always there.
    HMENU menu = reinterpret_cast<HMENU>(SendMessageW(window, MN_GETHMENU, 0, 0));
    int count = menu ? GetMenuItemCount(menu) : -1;
    if (argc == 2) {
        RECT r;
        GetWindowRect(window, &r);
        std::printf("open=%ld,%ld,%ld,%ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
        for (int i = 0; i < count; ++i) {
            wchar_t text[256] = {};
            GetMenuStringW(menu, UINT(i), text, 256, MF_BYPOSITION);
            std::printf("item=%s\n", Utf8(text).c_str());
        }
        return 0;
    }
    if (argc == 4 && std::string(argv[2]) == "choose") {
        int n = std::atoi(argv[3]);
        if (n < 0 || (count >= 0 && n >= count)) return Fail("no such item");
        // The menu's own keyboard handling: from no selection, n + 1 steps
        // down reach item n; Enter chooses it.
        for (int i = 0; i <= n; ++i) PostMessageW(window, WM_KEYDOWN, VK_DOWN, 0);
        PostMessageW(window, WM_KEYDOWN, VK_RETURN, 0);
        return 0;
    }
    return Fail("usage: menu [choose N]");
}

// Committed private memory of a process, summed over its address space:
// Wine reports no private bytes in the process counters.
ULONGLONG PrivateCommitted(HANDLE process) {
    ULONGLONG total = 0;
    MEMORY_BASIC_INFORMATION info{};
    const char* at = nullptr;
    // Bounded by the number of regions an address space can hold.
    for (int guard = 0; guard < 1000000 && VirtualQueryEx(process, at, &info, sizeof info) == sizeof info;
         ++guard) {
        if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE) total += info.RegionSize;
        const char* next = static_cast<const char*>(info.BaseAddress) + info.RegionSize;
        if (next <= at) break;
        at = next;
    }
    return total;
}

// Resource use of the running program, for tests that look for leaks.
int Stats() {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return Fail("no process snapshot");
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    DWORD pid = 0, threads = 0;
    ULONGLONG newest = 0;
    for (BOOL ok = Process32FirstW(snap, &entry); ok; ok = Process32NextW(snap, &entry)) {
        if (lstrcmpiW(entry.szExeFile, L"quellora-remote.exe") != 0) continue;
        ULONGLONG created = ProcessStart(entry.th32ProcessID);
        if (pid == 0 || created > newest) {
            pid = entry.th32ProcessID;
            threads = entry.cntThreads;
            newest = created;
        }
    }
    CloseHandle(snap);
    if (pid == 0) return Fail("quellora-remote.exe is not running");
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (!process) return Fail("cannot open the process");
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    BOOL ok = GetProcessMemoryInfo(process, &memory, sizeof memory);
    ULONGLONG privateBytes = PrivateCommitted(process);
    CloseHandle(process);
    if (!ok) return Fail("cannot read the process's counters");
    std::printf("pid=%lu threads=%lu private=%llu workingset=%llu\n", static_cast<unsigned long>(pid),
                static_cast<unsigned long>(threads), privateBytes,
                static_cast<unsigned long long>(memory.WorkingSetSize));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Fail("usage: see the comment at the top of PokeMain_win32.cpp");
    std::string cmd = argv[1];
    if (cmd == "close") {
        HWND f = MainForm();
        return f && PostMessageW(f, WM_CLOSE, 0, 0) ? 0 : Fail("no main window");
    }
    if (cmd == "forms") {
        // How many copies have built their main window.
        int count = 0;
        EnumWindows(CountMainForms, reinterpret_cast<LPARAM>(&count));
        std::printf("%d\n", count);
        return 0;
    }
    if (cmd == "close-all") {
        EnumWindows(CloseMainForm, 0);
        return 0;
    }
    if (cmd == "app-close") {
        HWND a = AppWindow();
        return a && PostMessageW(a, WM_CLOSE, 0, 0) ? 0 : Fail("no application window");
    }
    if (cmd == "restore") {
        HWND a = AppWindow();
        return a && PostMessageW(a, WM_SYSCOMMAND, SC_RESTORE, 0) ? 0 : Fail("no application window");
    }
    if (cmd == "endsession") {
        HWND a = AppWindow();
        if (!a) return Fail("no application window");
        SendMessageTimeoutW(a, WM_ENDSESSION, TRUE, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
        return 0;
    }
    if (cmd == "layout") return Layout();
    if (cmd == "box") return PrintMessageBox(false);
    if (cmd == "dismiss") return PrintMessageBox(true);
    if (cmd == "tray-rbutton" || cmd == "tray-lbutton" || cmd == "tray-dblclick")
        return Tray(cmd, argc > 2 ? UINT(std::atoi(argv[2])) : 1u);
    if (cmd == "menu") return Menu(argc, argv);
    if (cmd == "menu-text") return MenuText();
    if (cmd == "stats") return Stats();
    if (cmd == "tray-visible") {
        HWND handler = TrayHandler();
        if (!handler) return Fail("no tray icon handler window");
        TVisibleCount c{0, 0};
        GetWindowThreadProcessId(handler, &c.Pid);
        EnumWindows(CountVisible, reinterpret_cast<LPARAM>(&c));
        std::printf("%d\n", c.Count);
        return 0;
    }
    if (cmd == "tray-pid") {
        HWND handler = TrayHandler();
        if (!handler) return Fail("no tray icon handler window");
        DWORD pid = 0;
        GetWindowThreadProcessId(handler, &pid);
        std::printf("%lu\n", static_cast<unsigned long>(pid));
        return 0;
    }
    if ((cmd == "set" && argc == 4) || ((cmd == "get" || cmd == "click") && argc == 3)) {
        HWND c = Control(argv[2]);
        if (!c) return Fail("no such control");
        if (cmd == "set")
            return SendMessageW(c, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Wide(argv[3]).c_str())) ? 0 : 1;
        if (cmd == "get") {
            std::printf("%s\n", Utf8(TextOf(c)).c_str());
            return 0;
        }
        PostMessageW(GetParent(c), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(c), BN_CLICKED),
                     reinterpret_cast<LPARAM>(c));
        return 0;
    }
    return Fail("unknown command");
}
