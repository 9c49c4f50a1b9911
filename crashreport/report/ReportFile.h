#pragma once
// Saving a report to the report file: where the file is, opening it
// exclusively (with the fallback under the user's application data), and
// replacing its content as a whole.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "base/Text.h"
#include "crashreport/system/SystemQueries.h"
#include "crashreport/report/ReportFileEdit.h"

namespace qr {

// An open report file, held exclusively until destroyed.
class IReportFile {
public:
    virtual ~IReportFile() = default;
    virtual uint64_t Size() = 0;
    // The last `maxBytes` bytes (the whole file when it is smaller).
    virtual bool ReadTail(uint64_t maxBytes, AnsiString& content) = 0;
    // Replaces the content in place, while the file is still held: only
    // from the first byte that differs from what was read, and a failure
    // half-way writes back what was read (when the whole file was).
    virtual bool Replace(std::string_view content) = 0;
};

// What a report file's ReadTail read, for its Replace.
class TReadContent {
public:
    void Remember(std::string_view content, bool whole) {
        FContent = AnsiString(content);
        FWhole = whole;
    }
    bool Whole() const { return FWhole; }
    std::string_view Content() const { return FContent; }
    // How many leading bytes of `content` the file holds already.
    size_t Unchanged(std::string_view content) const;

private:
    AnsiString FContent;
    bool FWhole = false;
};

// Paths use backslashes; the POSIX layer maps them to slashes.
class IReportFileSystem {
public:
    virtual ~IReportFileSystem() = default;
    // Creates every missing folder of `folder`.
    virtual bool CreateFolders(const UString& folder) = 0;
    // Read and write, shared with nobody, created when missing; null when
    // that fails.
    virtual std::unique_ptr<IReportFile> OpenExclusive(const UString& path) = 0;
};

std::unique_ptr<IReportFileSystem> CreateReportFileSystem();

// A relative name made absolute against the program's folder (a name with
// one leading backslash against its drive); "\.\" and "folder\..\" folded.
UString AbsoluteReportFileName(const UString& name, const UString& programFileName);
// Everything before the last backslash.
UString FolderOf(const UString& path);
// Where an automatic save goes when the report file cannot be written:
// the file name in a folder named after the program under the user's
// application data. None for a name with a folder of its own, which has
// no fallback.
std::optional<UString> FallbackReportFileName(const UString& name, const UString& programFileName,
                                              ISystemQueries& system);

struct TReportSaveRequest {
    UString FileName;         // the BugRepFile setting
    UString ProgramFileName;  // full path of the program file
    AnsiString Report;
    TReportFileRules Rules;
    bool Automatic = true;
    // Interactive saves: the chosen name, none when the user cancelled.
    std::function<std::optional<UString>(const UString& suggested)> AskFileName;
};

// The file the report went to; none when it could not be saved.
std::optional<UString> SaveReportFile(IReportFileSystem& files, ISystemQueries& system,
                                      const TReportSaveRequest& request);

class TBugReport;

// Saves the report's current text; an automatic save that succeeded marks
// the report as saved.
std::optional<UString> SaveBugReport(TBugReport& report, IReportFileSystem& files, ISystemQueries& system,
                                     TReportSaveRequest request);

}  // namespace qr
