// A stand-in for the system's "mapi32.dll", placed beside a crash test
// program: MAPISendMail writes what it was handed into "mapi-call.txt"
// beside the DLL, keeps a copy of every attachment as "mapi-attached-" +
// the name it is sent as, and answers the number in "mapi-answer.txt"
// (0 when that file is missing). With "mapi-hold.txt" beside it, it answers
// only once "mapi-release.txt" appears (at most a minute later), as a user
// who takes his time with the mail. With "mapi-fault.txt" beside it, it
// writes through a null pointer once the record is written, as a mail
// program's library that crashes.
#include <windows.h>

#include <mapi.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::wstring Folder() {
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&Folder), &self);
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(self, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

std::wstring Widen(const char* text) {
    std::wstring wide;
    for (; text && *text; ++text) wide += static_cast<wchar_t>(static_cast<unsigned char>(*text));
    return wide;
}

std::string Text(const char* text) { return text ? text : "(null)"; }

}  // namespace

extern "C" __declspec(dllexport) ULONG WINAPI
    MAPISendMail(LHANDLE session, ULONG_PTR uiParam, lpMapiMessage message, FLAGS flags, ULONG reserved) {
    const std::wstring folder = Folder();
    std::ostringstream record;
    record << "session=" << session << "\n";
    record << "owner=" << (uiParam ? "window" : "none") << "\n";
    record << "flags=" << flags << "\n";
    record << "reserved=" << reserved << "\n";
    if (message) {
        record << "subject=" << Text(message->lpszSubject) << "\n";
        record << "body=" << Text(message->lpszNoteText) << "\n";
        record << "recipients=" << message->nRecipCount << "\n";
        for (ULONG i = 0; i < message->nRecipCount; ++i)
            record << "recipient=" << message->lpRecips[i].ulRecipClass << " "
                   << Text(message->lpRecips[i].lpszName) << " " << Text(message->lpRecips[i].lpszAddress)
                   << "\n";
        record << "attachments=" << message->nFileCount << "\n";
        for (ULONG i = 0; i < message->nFileCount; ++i) {
            const MapiFileDesc& file = message->lpFiles[i];
            record << "attachment=" << static_cast<long>(file.nPosition) << " " << Text(file.lpszFileName)
                   << " " << Text(file.lpszPathName) << "\n";
            const std::wstring copy = folder + L"mapi-attached-" + Widen(file.lpszFileName);
            record << "copied=" << (CopyFileW(Widen(file.lpszPathName).c_str(), copy.c_str(), FALSE) ? 1 : 0)
                   << "\n";
        }
    }
    // The record appears under its name only when it is whole.
    {
        std::ofstream out(std::filesystem::path(folder + L"mapi-call.txt.part"), std::ios::binary);
        out << record.str();
    }
    MoveFileExW((folder + L"mapi-call.txt.part").c_str(), (folder + L"mapi-call.txt").c_str(),
                MOVEFILE_REPLACE_EXISTING);

    if (GetFileAttributesW((folder + L"mapi-fault.txt").c_str()) != INVALID_FILE_ATTRIBUTES) {
        ULONG* volatile nowhere = nullptr;
        *nowhere = 1;
    }
    if (GetFileAttributesW((folder + L"mapi-hold.txt").c_str()) != INVALID_FILE_ATTRIBUTES)
        for (int i = 0; i < 3000 &&
                        GetFileAttributesW((folder + L"mapi-release.txt").c_str()) == INVALID_FILE_ATTRIBUTES;
             ++i)
            Sleep(20);

    ULONG answer = SUCCESS_SUCCESS;
    std::ifstream in(std::filesystem::path(folder + L"mapi-answer.txt"));
    in >> answer;
    return answer;
}
