// Random report file content and a random new report through the report
// file editor: nothing may crash or hang, the new report is always the end
// of the file, and the file never grows by more than the new report, its
// "count" line and the separators. Then the random text as what users and
// plug-ins put into a real report (its message and sections): saving the
// same failure again changes only its count, whatever the text looks like.
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "crashreport/report/ReportFileEdit.h"
#include "crashreport/report/ReportLayout.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

// A report of the failure `exceptClass` whose message and sections are the
// pieces of `text` (split at 0x1f bytes).
qr::AnsiString ReportAround(std::string_view text, const char* exceptClass) {
    std::vector<std::string_view> pieces;
    for (size_t start = 0;;) {
        const size_t end = text.find('\x1f', start);
        pieces.push_back(
            text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    std::vector<qr::TReportField> header = {{"date/time", "2024-05-02, 10:00:00, 1ms"},
                                            {"executable", "quellora-remote.exe"},
                                            {"version", "1.0.0.0"},
                                            {"callstack crc", "$0c468f5b, $a8ac7c9d, $f360cf71"},
                                            {"exception class", exceptClass},
                                            {"exception message", qr::AnsiString(pieces[0])}};
    std::vector<qr::TReportField> sections = {{"modules", "00400000 quellora-remote.exe"}};
    for (size_t i = 1; i < pieces.size() && i < 5; ++i)
        sections.emplace_back(i == 1 ? "error details" : "plugin " + std::to_string(i),
                              qr::AnsiString(pieces[i]));
    return qr::ComposeReportText(header, sections);
}

qr::AnsiString Counted(qr::AnsiString report, int count) {
    const size_t crc = report.find("\r\ncallstack crc") + 2;
    report.insert(report.find("\r\n", crc) + 2, "count             : " + std::to_string(count) + "\r\n");
    return report;
}

void SavingTwiceChangesOnlyTheCount(std::string_view text) {
    const qr::TReportFileRules rules;
    const qr::AnsiString report = ReportAround(text, "EFuzzFailure");
    const qr::AnsiString other = ReportAround(text, "EOtherFailure") + "\r\n\r\n";
    qr::AnsiString file = qr::EditReportFile(other, false, other.size(), report, rules);
    Check(file == other + report + "\r\n\r\n");
    for (int count = 2; count <= 3; ++count) {
        file = qr::EditReportFile(file, false, file.size(), report, rules);
        Check(file == other + Counted(report, count) + "\r\n\r\n");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    // First byte: the settings; then the old file up to a 0x1e byte, then
    // the new report.
    const uint8_t flags = data[0];
    std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    size_t split = rest.find('\x1e');
    std::string_view old = split == std::string_view::npos ? rest : rest.substr(0, split);
    std::string_view report = split == std::string_view::npos ? std::string_view() : rest.substr(split + 1);

    qr::TReportFileRules rules;
    rules.Append = (flags & 1) == 0;
    static const int64_t limits[] = {100000, 0, 300, 4000};
    rules.SizeLimit = limits[(flags >> 1) & 3];
    rules.DupExceptDef = (flags >> 3) & 3;
    rules.NoDupExcepts = (flags & 0x20) == 0;
    rules.NoDupFreezes = (flags & 0x40) == 0;
    bool tail = (flags & 0x80) != 0;

    qr::AnsiString file = qr::EditReportFile(old, tail, old.size(), report, rules);
    Check(file.ends_with("\r\n\r\n"));
    // Old content, four bytes of separation, the report, a count line of at
    // most a padded name and ten digits, and the two CR LF.
    Check(file.size() <= old.size() + 4 + report.size() + report.size() + 16 + 4);
    std::string_view firstLine = report.substr(0, report.find_first_of("\r\n"));
    Check(file.find(firstLine) != qr::AnsiString::npos);
    Check(rules.Append || file == qr::AnsiString(report) + "\r\n\r\n");
    qr::NamedLineValue(old, "count");
    qr::NamedLineValue(report, "");

    SavingTwiceChangesOnlyTheCount(rest);
    return 0;
}
