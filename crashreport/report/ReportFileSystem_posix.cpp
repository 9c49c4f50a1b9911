// The report file on POSIX: backslashes become slashes, the exclusive open
// is an advisory lock, and the content is edited in place under it.
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

bool WriteAllAt(int fd, uint64_t offset, std::string_view data) {
    while (!data.empty()) {
        ssize_t n = pwrite(fd, data.data(), data.size(), off_t(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data.remove_prefix(size_t(n));
        offset += uint64_t(n);
    }
    return true;
}

class TPosixReportFile : public IReportFile {
public:
    explicit TPosixReportFile(int fd) : FFd(fd) {}
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
        if (done != size - from) return false;
        FOld.Remember(content, from == 0);
        return true;
    }

    bool Replace(std::string_view content) override {
        // In place, under the lock taken at the open: a renamed file would
        // be a new one that nobody has locked.
        const size_t from = FOld.Unchanged(content);
        if (WriteAllAt(FFd, from, content.substr(from)) && ftruncate(FFd, off_t(content.size())) == 0 &&
            fsync(FFd) == 0)
            return true;
        if (FOld.Whole()) {
            WriteAllAt(FFd, from, FOld.Content().substr(from));
            if (ftruncate(FFd, off_t(FOld.Content().size())) != 0) return false;
        }
        return false;
    }

private:
    int FFd;
    TReadContent FOld;
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
        return std::make_unique<TPosixReportFile>(fd);
    }
};

}  // namespace

std::unique_ptr<IReportFileSystem> CreateReportFileSystem() {
    return std::make_unique<TPosixReportFileSystem>();
}

}  // namespace qr
