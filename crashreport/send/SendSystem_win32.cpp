#include "crashreport/send/SendSystem_win32.h"

#include <mapi.h>

#include <algorithm>
#include <vector>

#include "base/win32/Handles.h"
#include "base/win32/WideText.h"

namespace qr {

namespace {

// A topmost window stays in front of the mail program's window; it gives
// up that place while the mail program is in charge.
class TNotTopmost {
public:
    explicit TNotTopmost(HWND window)
        : FWindow(window && (GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) ? window : nullptr) {
        if (FWindow)
            SetWindowPos(FWindow, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    ~TNotTopmost() {
        if (FWindow)
            SetWindowPos(FWindow, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    TNotTopmost(const TNotTopmost&) = delete;
    TNotTopmost& operator=(const TNotTopmost&) = delete;

private:
    HWND FWindow;
};

char* Writable(AnsiString& text) { return text.data(); }

std::optional<AnsiString> ReadAll(HANDLE file) {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size) || size.QuadPart > 0x7fffffff) return std::nullopt;
    AnsiString content(size_t(size.QuadPart), '\0');
    size_t done = 0;
    while (done < content.size()) {
        DWORD read = 0;
        const DWORD chunk = DWORD(std::min<size_t>(content.size() - done, 1 << 20));
        if (!ReadFile(file, content.data() + done, chunk, &read, nullptr) || read == 0) return std::nullopt;
        done += read;
    }
    return content;
}

// Whether the ANSI code page holds every character of `text`.
bool AnsiHolds(const UString& text) {
    if (text.empty() || GetACP() == CP_UTF8) return true;
    BOOL lost = FALSE;
    const int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, win32::Wide(text), int(text.size()),
                                         nullptr, 0, nullptr, &lost);
    return size > 0 && !lost;
}

}  // namespace

AnsiString MailAttachmentPath(const UString& path) {
    if (AnsiHolds(path)) return UnicodeToAnsi(path);
    const DWORD size = GetShortPathNameW(win32::Wide(path), nullptr, 0);
    if (size == 0) return UnicodeToAnsi(path);
    UString shortPath(size, u'\0');
    const DWORD length = GetShortPathNameW(win32::Wide(path), win32::WideBuffer(shortPath), size);
    if (length == 0 || length >= size) return UnicodeToAnsi(path);
    shortPath.resize(length);
    return UnicodeToAnsi(shortPath);
}

UString TSendSystem::TempFolder() {
    if (!FTempFolder.empty()) CreateDirectoryW(win32::Wide(FTempFolder), nullptr);
    return FTempFolder;
}

bool TSendSystem::FileExists(const UString& path) {
    const DWORD attributes = GetFileAttributesW(win32::Wide(path));
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

UString TSendSystem::AbsolutePath(const UString& path) {
    const DWORD size = GetFullPathNameW(win32::Wide(path), 0, nullptr, nullptr);
    if (size == 0) return path;
    UString full(size, u'\0');
    const DWORD length = GetFullPathNameW(win32::Wide(path), size, win32::WideBuffer(full), nullptr);
    if (length == 0 || length >= size) return path;
    full.resize(length);
    return full;
}

bool TSendSystem::CopyFileOver(const UString& from, const UString& to) {
    // A read-only copy left from an earlier send must not block this one.
    SetFileAttributesW(win32::Wide(to), FILE_ATTRIBUTE_NORMAL);
    return CopyFileW(win32::Wide(from), win32::Wide(to), FALSE) != FALSE;
}

void TSendSystem::DeleteFileForced(const UString& path) {
    SetFileAttributesW(win32::Wide(path), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(win32::Wide(path));
}

std::optional<AnsiString> TSendSystem::ReadWholeFile(const UString& path) {
    win32::TFileHandle file(CreateFileW(win32::Wide(path), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return std::nullopt;
    return ReadAll(file.Get());
}

bool TSendSystem::DeleteFileIfContent(const UString& path, std::string_view content) {
    const DWORD attributes = GetFileAttributesW(win32::Wide(path));
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    SetFileAttributesW(win32::Wide(path), FILE_ATTRIBUTE_NORMAL);
    bool deleted = false;
    {
        // Not shared, as the report file routine opens it: a save meanwhile
        // goes to its fallback place.
        win32::TFileHandle file(CreateFileW(win32::Wide(path), GENERIC_READ | DELETE, 0, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        const std::optional<AnsiString> now = file ? ReadAll(file.Get()) : std::nullopt;
        if (now && *now == content) {
            FILE_DISPOSITION_INFO disposition{};
            disposition.DeleteFile = TRUE;
            deleted = SetFileInformationByHandle(file.Get(), FileDispositionInfo, &disposition,
                                                 sizeof disposition) != FALSE;
        }
    }
    // A file that stays keeps its attributes.
    if (!deleted) SetFileAttributesW(win32::Wide(path), attributes);
    return deleted;
}

bool TSendSystem::WriteNewFile(const UString& path, const std::string& bytes) {
    const size_t slash = path.find_last_of(u'\\');
    if (slash != UString::npos) CreateDirectoryW(win32::Wide(path.substr(0, slash)), nullptr);
    bool written = false;
    {
        win32::TFileHandle file(CreateFileW(win32::Wide(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return false;
        DWORD count = 0;
        written = WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &count, nullptr) &&
                  count == bytes.size();
    }
    if (!written) DeleteFileW(win32::Wide(path));
    return written;
}

TMailOutcome TSendSystem::SendSimpleMail(const TSimpleMail& mail) {
    if (!FMayLoad) return TMailOutcome::Unavailable;
    win32::TModule library(LoadLibraryW(L"mapi32.dll"));
    if (!library) return TMailOutcome::Unavailable;
    auto send = reinterpret_cast<LPMAPISENDMAIL>(
        reinterpret_cast<void (*)()>(GetProcAddress(library.Get(), "MAPISendMail")));
    if (!send) return TMailOutcome::Unavailable;

    // The interface takes writable 8-bit strings; these live until it returns.
    std::vector<AnsiString> texts;
    texts.reserve(2 + 2 * mail.Recipients.size() + 2 * mail.Attachments.size());
    auto keep = [&texts](AnsiString text) { return Writable(texts.emplace_back(std::move(text))); };
    std::vector<MapiRecipDesc> recipients(mail.Recipients.size());
    for (size_t i = 0; i < recipients.size(); ++i) {
        recipients[i] = {};
        recipients[i].ulRecipClass = MAPI_TO;
        recipients[i].lpszName = keep(mail.Recipients[i].Name);
        recipients[i].lpszAddress = keep(mail.Recipients[i].Address);
    }
    std::vector<MapiFileDesc> files(mail.Attachments.size());
    for (size_t i = 0; i < files.size(); ++i) {
        files[i] = {};
        files[i].nPosition = static_cast<ULONG>(-1);
        files[i].lpszPathName = keep(MailAttachmentPath(mail.Attachments[i].File));
        files[i].lpszFileName = keep(UnicodeToAnsi(mail.Attachments[i].SendAs));
    }
    MapiMessage message{};
    message.lpszSubject = keep(mail.Subject);
    message.lpszNoteText = keep(mail.Body);
    message.nRecipCount = static_cast<ULONG>(recipients.size());
    message.lpRecips = recipients.empty() ? nullptr : recipients.data();
    message.nFileCount = static_cast<ULONG>(files.size());
    message.lpFiles = files.empty() ? nullptr : files.data();

    ULONG result;
    try {
        TNotTopmost notTopmost(FOwner);
        result = send(0, reinterpret_cast<ULONG_PTR>(FOwner), &message,
                      mail.Interactive ? MAPI_LOGON_UI | MAPI_DIALOG : 0, 0);
    } catch (...) {
        // A fault inside the mail program's library (thrown here as an
        // error): this way of sending failed, the next one is tried.
        return TMailOutcome::Failed;
    }
    if (result == SUCCESS_SUCCESS) return TMailOutcome::Sent;
    if (result == MAPI_USER_ABORT) return TMailOutcome::Cancelled;
    return TMailOutcome::Failed;
}

std::optional<UString> TSendSystem::MailProgramCommand() {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, L"mailto\\shell\\open\\command", 0, KEY_QUERY_VALUE, &opened) !=
        ERROR_SUCCESS)
        return std::nullopt;
    win32::TRegKey key(opened);
    DWORD type = 0, bytes = 0;
    if (RegQueryValueExW(key.Get(), nullptr, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ) || bytes < sizeof(wchar_t))
        return std::nullopt;
    // Room for an odd byte count and a terminator that the value may lack.
    std::vector<wchar_t> value(bytes / sizeof(wchar_t) + 2, L'\0');
    bytes = DWORD((value.size() - 1) * sizeof(wchar_t));
    if (RegQueryValueExW(key.Get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &bytes) !=
        ERROR_SUCCESS)
        return std::nullopt;
    value[std::min<size_t>(bytes / sizeof(wchar_t), value.size() - 1)] = L'\0';
    const DWORD size = ExpandEnvironmentStringsW(value.data(), nullptr, 0);
    if (size == 0) return win32::FromWide(value.data());
    std::vector<wchar_t> expanded(size + 1, L'\0');
    ExpandEnvironmentStringsW(value.data(), expanded.data(), size + 1);
    return win32::FromWide(expanded.data());
}

void TSendSystem::LeaveTopmost() {
    if (FOwner) SetWindowPos(FOwner, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

bool TSendSystem::StartProgram(const UString& commandLine) {
    std::wstring line(reinterpret_cast<const wchar_t*>(commandLine.c_str()), commandLine.size());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &started))
        return false;
    win32::THandle process(started.hProcess), thread(started.hThread);
    return true;
}

void TSendSystem::ShowSendFailure(const UString& text) {
    // No title of its own: the system's default error title.
    MessageBoxW(FOwner, win32::Wide(text), nullptr, MB_OK | MB_ICONERROR);
}

}  // namespace qr
