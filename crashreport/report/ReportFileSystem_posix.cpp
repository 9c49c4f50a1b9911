// The report file on POSIX: backslashes become slashes, the exclusive open
// is an advisory lock, and the content is replaced through a renamed
// temporary file.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "crashreport/report/ReportFile.h"

namespace qr {

namespace {

std::string NativePath(const UString& path) {
    std::string out = UnicodeToUtf8(path);
    for (char& c : out)
        if (c == '\\') c = '/';
    return out;
}

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        ssize_t n = write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data.remove_prefix(size_t(n));
    }
    return true;
}

class TPosixReportFile : public IReportFile {
public:
    TPosixReportFile(int fd, std::string path) : FFd(fd), FPath(std::move(path)) {}
    ~TPosixReportFile() override { close(FFd); }

    uint64_t Size() override {
        struct stat st {};
        return fstat(FFd, &st) == 0 ? uint64_t(st.st_size) : 0;
    }

    bool ReadTail(uint64_t maxBytes, AnsiString& content) override {
        uint64_t size = Size();
        uint64_t from = size > maxBytes ? size - maxBytes : 0;
        content.assign(size_t(size - from), '\0');
        size_t done = 0;
        while (done < content.size()) {
            ssize_t n = pread(FFd, content.data() + done, content.size() - done, off_t(from + done));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            done += size_t(n);
        }
        content.resize(done);
        return done == size - from;
    }

    bool Replace(std::string_view content) override {
        std::string temporary = FPath + ".tmp";
        int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) return false;
        bool ok = WriteAll(fd, content) && fsync(fd) == 0;
        ok = close(fd) == 0 && ok;
        if (ok && rename(temporary.c_str(), FPath.c_str()) == 0) return true;
        unlink(temporary.c_str());
        return false;
    }

private:
    int FFd;
    std::string FPath;
};

class TPosixReportFileSystem : public IReportFileSystem {
public:
    bool CreateFolders(const UString& folder) override {
        std::string path = NativePath(folder);
        for (size_t i = 1; i <= path.size(); ++i) {
            if (i < path.size() && path[i] != '/') continue;
            std::string part = path.substr(0, i);
            if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
        }
        return true;
    }

    std::unique_ptr<IReportFile> OpenExclusive(const UString& path) override {
        std::string native = NativePath(path);
        int fd = open(native.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0) return nullptr;
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            close(fd);
            return nullptr;
        }
        return std::make_unique<TPosixReportFile>(fd, native);
    }
};

}  // namespace

std::unique_ptr<IReportFileSystem> CreateReportFileSystem() {
    return std::make_unique<TPosixReportFileSystem>();
}

}  // namespace qr
