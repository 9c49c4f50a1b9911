#include "crashreport/report/ReportFile.h"

#include <algorithm>
#include <vector>

#include "crashreport/settings/Placeholders.h"
#include "crashreport/report/BugReport.h"

namespace qr {

namespace {

UString Backslashed(UString path) {
    for (char16_t& c : path)
        if (c == u'/') c = u'\\';
    return path;
}

bool HasDrive(const UString& path) { return path.size() >= 2 && path[1] == u':'; }

UString FoldDots(const UString& path) {
    std::vector<UString> parts;
    size_t start = 0;
    for (;;) {
        size_t end = path.find(u'\\', start);
        parts.push_back(path.substr(start, end == UString::npos ? UString::npos : end - start));
        if (end == UString::npos) break;
        start = end + 1;
    }
    // Only folder names between two backslashes fold; the first part is
    // the drive, the root or the server.
    std::vector<UString> kept;
    for (size_t i = 0; i < parts.size(); ++i) {
        bool folder = i > 0 && i + 1 < parts.size();
        if (folder && parts[i] == u".") continue;
        if (folder && parts[i] == u".." && kept.size() > 1 && kept.back() != u"..") {
            kept.pop_back();
            continue;
        }
        kept.push_back(parts[i]);
    }
    UString out;
    for (size_t i = 0; i < kept.size(); ++i) out += (i ? u"\\" : u"") + kept[i];
    return out;
}

UString FileNameWithoutExtension(const UString& path) {
    UString name = path.substr(path.find_last_of(u'\\') == UString::npos ? 0 : path.find_last_of(u'\\') + 1);
    size_t dot = name.find_last_of(u'.');
    return dot == UString::npos || dot == 0 ? name : name.substr(0, dot);
}

std::unique_ptr<IReportFile> OpenWithFolders(IReportFileSystem& files, const UString& path) {
    files.CreateFolders(FolderOf(path));
    return files.OpenExclusive(path);
}

}  // namespace

size_t TReadContent::Unchanged(std::string_view content) const {
    if (!FWhole) return 0;
    size_t same = 0;
    const size_t most = std::min(content.size(), FContent.size());
    while (same < most && content[same] == FContent[same]) ++same;
    return same;
}

UString FolderOf(const UString& path) {
    size_t slash = path.find_last_of(u'\\');
    return slash == UString::npos ? UString() : path.substr(0, slash);
}

UString AbsoluteReportFileName(const UString& name, const UString& programFileName) {
    UString path = Backslashed(name);
    UString program = Backslashed(programFileName);
    if (path.starts_with(u"\\\\") || HasDrive(path)) {
        // absolute already
    } else if (path.starts_with(u"\\")) {
        path = (HasDrive(program) ? program.substr(0, 2) : UString()) + path;
    } else {
        path = FolderOf(program) + u"\\" + path;
    }
    return FoldDots(path);
}

namespace {

// Opens, edits and replaces the file at `path`; false when any of it fails.
bool SaveAt(IReportFileSystem& files, const UString& path, const TReportSaveRequest& request) {
    std::unique_ptr<IReportFile> file = OpenWithFolders(files, path);
    if (!file) return false;
    AnsiString old;
    uint64_t size = 0;
    bool tail = false;
    if (request.Rules.Append) {
        size = file->Size();
        tail = size > kReportFileSaneSize;
        // A file that cannot be read keeps its older reports: the new one
        // goes to the fallback place instead.
        if (!file->ReadTail(kReportFileSaneSize, old)) return false;
    }
    return file->Replace(EditReportFile(old, tail, size, request.Report, request.Rules));
}

}  // namespace

std::optional<UString> SaveReportFile(IReportFileSystem& files, ISystemQueries& system,
                                      const TReportSaveRequest& request) {
    UString path;
    if (request.Automatic) {
        path = AbsoluteReportFileName(request.FileName, request.ProgramFileName);
    } else {
        if (!request.AskFileName) return std::nullopt;
        std::optional<UString> chosen = request.AskFileName(request.FileName);
        if (!chosen || chosen->empty()) return std::nullopt;
        path = FoldDots(Backslashed(*chosen));
    }
    if (SaveAt(files, path, request)) return path;
    // The fallback also takes the report when the write itself failed (a
    // full disk, a temporary file that cannot be made), not only the open.
    std::optional<UString> fallback =
        FallbackReportFileName(request.FileName, request.ProgramFileName, system);
    if (fallback && SaveAt(files, *fallback, request)) return fallback;
    return std::nullopt;
}

std::optional<UString> FallbackReportFileName(const UString& name, const UString& programFileName,
                                              ISystemQueries& system) {
    if (name.find_first_of(u"\\/") != UString::npos) return std::nullopt;
    return Backslashed(ExpandPlaceholders(
        u"%userappdata%\\" + FileNameWithoutExtension(Backslashed(programFileName)) + u"\\" + name, system));
}

std::optional<UString> SaveBugReport(TBugReport& report, IReportFileSystem& files, ISystemQueries& system,
                                     TReportSaveRequest request) {
    request.Report = report.Text();
    std::optional<UString> saved = SaveReportFile(files, system, request);
    if (saved && request.Automatic) report.MarkSaved();
    return saved;
}

}  // namespace qr
