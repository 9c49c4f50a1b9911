#include "crashreport/report/ReportFileEdit.h"

#include "crashreport/Settings.h"

namespace qr {

namespace {

constexpr std::string_view kReportStart = "date/time";
// A "count" beyond this cannot be a real count of failures; it is read as
// damaged like any other unreadable value.
constexpr uint32_t kMaxCount = 999999999;

bool AtLineStart(std::string_view text, size_t pos, bool startCounts) {
    return pos == 0 ? startCounts : text[pos - 1] == '\n';
}

// The start of the report around `pos`: the nearest "date/time" at a line
// start at or before it.
std::optional<size_t> ReportStartBefore(std::string_view text, size_t pos, bool startCounts) {
    size_t p = text.rfind(kReportStart, pos);
    while (p != std::string_view::npos) {
        if (AtLineStart(text, p, startCounts)) return p;
        if (p == 0) break;
        p = text.rfind(kReportStart, p - 1);
    }
    return std::nullopt;
}

// Just before the next line that begins with "date/time" after `pos`.
size_t ReportEndAfter(std::string_view text, size_t pos) {
    size_t p = text.find("\ndate/time", pos);
    return p == std::string_view::npos ? text.size() : p + 1;
}

bool SameFailure(std::string_view oldReport, std::string_view newReport) {
    auto same = [&](std::string_view name) {
        return NamedLineValue(oldReport, name) == NamedLineValue(newReport, name);
    };
    if (!same("executable") || !same("current module") || !same("exception class") || !same("version"))
        return false;
    if (NamedLineValue(newReport, "version")) return true;
    return same("exec. date/time") && same("module date/time");
}

uint32_t ReadCount(std::string_view report) {
    std::optional<AnsiString> value = NamedLineValue(report, "count");
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
    size_t line = 0;
    while (line < report.size()) {
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

AnsiString EditReportFile(std::string_view old, bool oldIsTail, uint64_t oldFileSize,
                          std::string_view newReport, const TReportFileRules& rules) {
    AnsiString report(newReport);
    if (!rules.Append) return report + "\r\n\r\n";

    std::optional<AnsiString> key;
    if (!old.empty()) {
        std::optional<AnsiString> crc = NamedLineValue(newReport, "callstack crc");
        bool isException = NamedLineValue(newReport, "exception class").has_value();
        bool noDup = isException ? rules.NoDupExcepts : rules.NoDupFreezes;
        int def = isException ? rules.DupExceptDef : rules.DupFreezeDef;
        if (crc && crc->size() == 31 && noDup) key = crc->substr(0, def <= 0 ? 9 : def == 1 ? 20 : 31);
    }
    bool tooLarge = oldIsTail || (rules.SizeLimit > 0 && oldFileSize > uint64_t(rules.SizeLimit));

    AnsiString content(old);
    if (key) {
        const AnsiString needle = ": " + *key;
        size_t hit = content.rfind(needle);
        while (hit != AnsiString::npos) {
            std::optional<size_t> start = ReportStartBefore(content, hit, !oldIsTail);
            if (!start) break;  // no report holds this or any earlier hit
            size_t end = ReportEndAfter(content, hit);
            std::string_view previous = std::string_view(content).substr(*start, end - *start);
            if (SameFailure(previous, newReport)) {
                report = WithCount(newReport, ReadCount(previous) + 1);
                content.erase(*start, end - *start);
                break;
            }
            hit = *start == 0 ? AnsiString::npos : content.rfind(needle, *start - 1);
        }
    }

    if (tooLarge) {
        uint64_t limit = rules.SizeLimit > 0 ? uint64_t(rules.SizeLimit) : kReportFileSaneSize;
        uint64_t keep = limit - limit / 4;
        bool cut = false;
        for (size_t p = content.find("\ndate/time"); p != AnsiString::npos;
             p = content.find("\ndate/time", p + 1)) {
            size_t lineBreak = p > 0 && content[p - 1] == '\r' ? p - 1 : p;
            if (content.size() - lineBreak < keep) {
                content.erase(0, p + 1);
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
