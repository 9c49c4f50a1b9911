// Random report file content and a random new report through the report
// file editor: nothing may crash or hang, the new report is always the end
// of the file, and the file never grows by more than the new report, its
// "count" line and the separators.
#include <cstdlib>
#include <string_view>

#include "crashreport/report/ReportFileEdit.h"

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
    if (!file.ends_with("\r\n\r\n")) std::abort();
    // Old content, four bytes of separation, the report, a count line of at
    // most a padded name and ten digits, and the two CR LF.
    if (file.size() > old.size() + 4 + report.size() + report.size() + 16 + 4) std::abort();
    std::string_view firstLine = report.substr(0, report.find_first_of("\r\n"));
    if (file.find(firstLine) == qr::AnsiString::npos) std::abort();
    if (!rules.Append && file != qr::AnsiString(report) + "\r\n\r\n") std::abort();
    qr::NamedLineValue(old, "count");
    qr::NamedLineValue(report, "");
    return 0;
}
