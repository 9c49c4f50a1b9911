#include "crashreport/report/ReportFileEdit.h"

#include <vector>

#include "crashreport/settings/Settings.h"

namespace qr {

namespace {

constexpr std::string_view kReportStart = "date/time";
// A "count" beyond this cannot be a real count of failures; it is read as
// damaged like any other unreadable value.
constexpr uint32_t kMaxCount = 999999999;

// The position behind the line break at the end of the line at `pos`
// (the text's end for its last line).
size_t NextLine(std::string_view text, size_t pos) {
    const size_t end = text.find('\n', pos);
    return end == std::string_view::npos ? text.size() : end + 1;
}

// A report starts with a "date/time" line that opens the content or follows
// an empty line: inside a report every empty line is followed by a section
// name, and section contents have no empty lines (they show "."), so user
// text in a section can never start a report. Files written before have the
// same shape: one empty line between two reports.
bool IsReportStart(std::string_view text, size_t pos, bool startCounts) {
    if (text.substr(pos, kReportStart.size()) != kReportStart) return false;
    if (pos == 0) return startCounts;
    if (text[pos - 1] != '\n') return false;
    size_t lineBreak = pos - 1;
    if (lineBreak > 0 && text[lineBreak - 1] == '\r') --lineBreak;
    if (lineBreak == 0) return startCounts;
    return text[lineBreak - 1] == '\n';
}

std::vector<size_t> ReportStarts(std::string_view text, bool startCounts) {
    std::vector<size_t> starts;
    for (size_t p = text.find(kReportStart); p != std::string_view::npos; p = text.find(kReportStart, p + 1))
        if (IsReportStart(text, p, startCounts)) starts.push_back(p);
    return starts;
}

bool SameFailure(std::string_view oldReport, std::string_view newReport) {
    auto same = [&](std::string_view name) {
        return HeaderValue(oldReport, name) == HeaderValue(newReport, name);
    };
    if (!same("executable") || !same("current module") || !same("exception class") || !same("version"))
        return false;
    if (HeaderValue(newReport, "version")) return true;
    return same("exec. date/time") && same("module date/time");
}

uint32_t ReadCount(std::string_view report) {
    std::optional<AnsiString> value = HeaderValue(report, "count");
    if (!value) return 1;
    std::string_view digits = *value;
    while (!digits.empty() && (digits.back() == ' ' || digits.back() == '\t')) digits.remove_suffix(1);
    if (digits.empty() || digits.size() > 9) return 1;
    uint32_t n = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return 1;
        n = n * 10 + uint32_t(c - '0');
    }
    return n == 0 || n > kMaxCount ? 1 : n;
}

// "count" under the "callstack crc" line, padded like that name.
AnsiString WithCount(std::string_view report, uint32_t count) {
    const size_t headerEnd = HeaderBlock(report).size();
    size_t line = 0;
    while (line < headerEnd) {
        size_t end = report.find('\n', line);
        if (end == std::string_view::npos) end = report.size();
        std::string_view text = report.substr(line, end - line);
        if (text.starts_with("callstack crc")) {
            size_t colon = text.find(": ");
            size_t width = colon == std::string_view::npos ? 13 : colon;
            AnsiString name = "count";
            if (name.size() < width) name.resize(width, ' ');
            AnsiString countLine = name + ": " + std::to_string(count);
            AnsiString out(report);
            if (end == report.size())
                out += "\r\n" + countLine;
            else
                out.insert(end + 1, countLine + "\r\n");
            return out;
        }
        line = end + 1;
    }
    return AnsiString(report);
}

}  // namespace

TReportFileRules ReportFileRulesFrom(const TIMESettings& s) {
    TReportFileRules rules;
    rules.Append = s.GetBoolean("AppendBugReps");
    rules.SizeLimit = s.GetInteger("BugRepFileSize");
    rules.NoDupExcepts = s.GetBoolean("NoDupExcepts");
    rules.DupExceptDef = s.GetEnum("DupExceptDef");
    rules.NoDupFreezes = s.GetBoolean("NoDupFreezes");
    rules.DupFreezeDef = s.GetEnum("DupFreezeDef");
    return rules;
}

std::optional<AnsiString> NamedLineValue(std::string_view text, std::string_view name) {
    if (name.empty()) return std::nullopt;
    for (size_t p = text.find(name); p != std::string_view::npos; p = text.find(name, p + 1)) {
        if (p != 0 && text[p - 1] != '\n') continue;
        size_t i = p + name.size();
        while (i < text.size() && text[i] == ' ') ++i;
        if (i >= text.size() || text[i] != ':') return std::nullopt;
        i += 2;  // the ":" and the blank behind it
        if (i > text.size()) return AnsiString();
        size_t end = text.find_first_of("\r\n", i);
        if (end == std::string_view::npos) end = text.size();
        return AnsiString(text.substr(i, end - i));
    }
    return std::nullopt;
}

std::string_view HeaderBlock(std::string_view report) {
    for (size_t line = 0; line < report.size(); line = NextLine(report, line)) {
        const size_t end = report.find_first_of("\r\n", line);
        if (end == line) return report.substr(0, line);
        if (end == std::string_view::npos) break;
    }
    return report;
}

std::optional<AnsiString> HeaderValue(std::string_view report, std::string_view name) {
    return NamedLineValue(HeaderBlock(report), name);
}

AnsiString EditReportFile(std::string_view old, bool oldIsTail, uint64_t oldFileSize,
                          std::string_view newReport, const TReportFileRules& rules) {
    AnsiString report(newReport);
    if (!rules.Append) return report + "\r\n\r\n";

    std::optional<AnsiString> key;
    if (!old.empty()) {
        std::optional<AnsiString> crc = HeaderValue(newReport, "callstack crc");
        bool isException = HeaderValue(newReport, "exception class").has_value();
        bool noDup = isException ? rules.NoDupExcepts : rules.NoDupFreezes;
        int def = isException ? rules.DupExceptDef : rules.DupFreezeDef;
        if (crc && crc->size() == 31 && noDup) key = crc->substr(0, def <= 0 ? 9 : def == 1 ? 20 : 31);
    }
    bool tooLarge = oldIsTail || (rules.SizeLimit > 0 && oldFileSize > uint64_t(rules.SizeLimit));

    AnsiString content(old);
    if (key) {
        // The latest report of the same failure, its checksums in its header.
        const std::vector<size_t> starts = ReportStarts(content, !oldIsTail);
        for (size_t i = starts.size(); i-- > 0;) {
            const size_t end = i + 1 < starts.size() ? starts[i + 1] : content.size();
            std::string_view previous = std::string_view(content).substr(starts[i], end - starts[i]);
            std::optional<AnsiString> crc = HeaderValue(previous, "callstack crc");
            if (!crc || !crc->starts_with(*key) || !SameFailure(previous, newReport)) continue;
            report = WithCount(newReport, ReadCount(previous) + 1);
            content.erase(starts[i], end - starts[i]);
            break;
        }
    }

    if (tooLarge) {
        uint64_t limit = rules.SizeLimit > 0 ? uint64_t(rules.SizeLimit) : kReportFileSaneSize;
        uint64_t keep = limit - limit / 4;
        bool cut = false;
        for (size_t start : ReportStarts(content, !oldIsTail)) {
            if (start == 0) continue;
            size_t lineBreak = start - 1;
            if (lineBreak > 0 && content[lineBreak - 1] == '\r') --lineBreak;
            if (content.size() - lineBreak < keep) {
                content.erase(0, start);
                cut = true;
                break;
            }
        }
        // The start of a partly read file is no report start: without a
        // report that fits, nothing of it is kept.
        if (!cut && oldIsTail) content.clear();
    }

    if (!content.empty() && content.back() != '\n') content += "\r\n\r\n";
    return content + report + "\r\n\r\n";
}

}  // namespace qr
