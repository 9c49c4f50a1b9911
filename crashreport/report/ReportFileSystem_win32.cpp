// The report file on Windows: opened without sharing and edited in place
// through that handle.
#include <windows.h>

#include <vector>

#include "crashreport/report/ReportFile.h"
#include "base/win32/Handles.h"
#include "base/win32/WideText.h"

namespace qr {

namespace {

bool WriteAllAt(HANDLE file, uint64_t offset, std::string_view data) {
    LARGE_INTEGER at{};
    at.QuadPart = LONGLONG(offset);
    if (!SetFilePointerEx(file, at, nullptr, FILE_BEGIN)) return false;
    while (!data.empty()) {
        DWORD chunk = DWORD(std::min<size_t>(data.size(), 1 << 20)), written = 0;
        if (!WriteFile(file, data.data(), chunk, &written, nullptr) || written == 0) return false;
        data.remove_prefix(written);
    }
    return true;
}

bool CutAt(HANDLE file, uint64_t size) {
    LARGE_INTEGER at{};
    at.QuadPart = LONGLONG(size);
    return SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && SetEndOfFile(file);
}

class TWin32ReportFile : public IReportFile {
public:
    explicit TWin32ReportFile(win32::TFileHandle file) : FFile(std::move(file)) {}

    uint64_t Size() override {
        LARGE_INTEGER size{};
        return FFile && GetFileSizeEx(FFile.Get(), &size) ? uint64_t(size.QuadPart) : 0;
    }

    bool ReadTail(uint64_t maxBytes, AnsiString& content) override {
        uint64_t size = Size();
        uint64_t from = size > maxBytes ? size - maxBytes : 0;
        LARGE_INTEGER at{};
        at.QuadPart = LONGLONG(from);
        if (!SetFilePointerEx(FFile.Get(), at, nullptr, FILE_BEGIN)) return false;
        content.assign(size_t(size - from), '\0');
        size_t done = 0;
        while (done < content.size()) {
            DWORD chunk = DWORD(std::min<size_t>(content.size() - done, 1 << 20)), read = 0;
            if (!ReadFile(FFile.Get(), content.data() + done, chunk, &read, nullptr) || read == 0) break;
            done += read;
        }
        content.resize(done);
        if (done != size - from) return false;
        FOld.Remember(content, from == 0);
        return true;
    }

    bool Replace(std::string_view content) override {
        // In place, through the handle held since the open: another process
        // saving now cannot get in between (it falls back instead), which
        // it could between closing the file and moving a new one over it.
        const size_t from = FOld.Unchanged(content);
        if (WriteAllAt(FFile.Get(), from, content.substr(from)) && CutAt(FFile.Get(), content.size()) &&
            FlushFileBuffers(FFile.Get()))
            return true;
        if (FOld.Whole()) {
            WriteAllAt(FFile.Get(), from, FOld.Content().substr(from));
            CutAt(FFile.Get(), FOld.Content().size());
        }
        return false;
    }

private:
    win32::TFileHandle FFile;
    TReadContent FOld;
};

class TWin32ReportFileSystem : public IReportFileSystem {
public:
    bool CreateFolders(const UString& folder) override {
        std::wstring path(win32::Wide(folder), folder.size());
        // Skip the drive ("C:") or the server and share of a UNC name.
        size_t start = 0;
        if (path.starts_with(L"\\\\")) {
            size_t server = path.find(L'\\', 2);
            start = server == std::wstring::npos ? path.size() : path.find(L'\\', server + 1);
            if (start == std::wstring::npos) return true;
        } else if (path.size() >= 2 && path[1] == L':') {
            start = 2;
        }
        for (size_t i = start + 1; i <= path.size(); ++i) {
            if (i < path.size() && path[i] != L'\\') continue;
            std::wstring part = path.substr(0, i);
            if (!CreateDirectoryW(part.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS &&
                GetFileAttributesW(part.c_str()) == INVALID_FILE_ATTRIBUTES)
                return false;
        }
        return true;
    }

    std::unique_ptr<IReportFile> OpenExclusive(const UString& path) override {
        std::wstring name(win32::Wide(path), path.size());
        win32::TFileHandle file(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return nullptr;
        return std::make_unique<TWin32ReportFile>(std::move(file));
    }
};

}  // namespace

std::unique_ptr<IReportFileSystem> CreateReportFileSystem() {
    return std::make_unique<TWin32ReportFileSystem>();
}

}  // namespace qr
