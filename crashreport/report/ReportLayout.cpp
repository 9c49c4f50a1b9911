#include "crashreport/report/ReportLayout.h"

#include <algorithm>

namespace qr {

std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') continue;
        lines.push_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    lines.push_back(text.substr(start));
    return lines;
}

AnsiString FoldHeaderValue(std::string_view value) {
    AnsiString out;
    out.reserve(value.size());
    for (char c : value) {
        if (c == '\r' || c == '\n') c = ' ';
        if (c == ' ' && !out.empty() && out.back() == ' ') continue;
        out += c;
    }
    return out;
}

AnsiString ComposeReportText(const std::vector<TReportField>& header,
                             const std::vector<TReportField>& sections) {
    size_t width = 0;
    for (const TReportField& f : header) width = std::max(width, f.first.size());
    ++width;

    std::vector<AnsiString> lines;
    for (const TReportField& f : header) {
        AnsiString line = f.first;
        line.resize(width, ' ');
        lines.push_back(line + ": " + FoldHeaderValue(f.second));
    }
    for (const TReportField& s : sections) {
        lines.emplace_back();
        lines.push_back(s.first.find(':') == AnsiString::npos ? s.first + ":" : s.first);
        for (std::string_view line : SplitLines(s.second)) {
            while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
            lines.emplace_back(line.empty() ? std::string_view(".") : line);
        }
    }

    AnsiString text;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i) text += "\r\n";
        text += lines[i];
    }
    return text;
}

}  // namespace qr
