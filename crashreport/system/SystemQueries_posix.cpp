// POSIX answers for placeholder expansion. Files carry no version here, and
// the folders follow the usual places of a Linux desktop.
#include <pwd.h>
#include <sys/time.h>
#include <unistd.h>

#include <climits>
#include <ctime>
#include <string>

#include "crashreport/system/SystemQueries.h"

namespace qr {

namespace {

std::string HomeFolder() {
    const passwd* entry = getpwuid(getuid());
    return entry && entry->pw_dir ? entry->pw_dir : "/";
}

class TPosixSystemQueries : public ISystemQueries {
public:
    UString ProgramFileName() override {
        char path[PATH_MAX];
        ssize_t n = readlink("/proc/self/exe", path, sizeof path);
        return n > 0 ? Utf8ToUnicode(std::string_view(path, size_t(n))) : UString();
    }

    std::optional<std::array<uint16_t, 4>> FileVersion(const UString&) override { return std::nullopt; }

    TLocalTime LocalTime() override {
        timeval now{};
        gettimeofday(&now, nullptr);
        std::tm parts{};
        localtime_r(&now.tv_sec, &parts);
        return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,          parts.tm_hour,
                parts.tm_min,         parts.tm_sec,     int(now.tv_usec / 1000)};
    }

    UString ComputerName() override {
        char name[256] = {};
        if (gethostname(name, sizeof name - 1) != 0) return {};
        return Utf8ToUnicode(name);
    }

    UString DesktopFolder() override { return Utf8ToUnicode(HomeFolder() + "/Desktop"); }
    UString UserAppDataFolder() override { return Utf8ToUnicode(HomeFolder() + "/.local/share"); }
    UString CommonAppDataFolder() override { return u"/usr/local/share"; }
};

}  // namespace

std::unique_ptr<ISystemQueries> CreateSystemQueries() { return std::make_unique<TPosixSystemQueries>(); }

}  // namespace qr
