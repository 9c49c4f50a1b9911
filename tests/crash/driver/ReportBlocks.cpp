#include "tests/crash/driver/ReportBlocks.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>

#include "tests/crash/driver/DriverText.h"

namespace qr::crashtest {

namespace {

// The patterns of "A ;; B ;; C".
std::vector<std::string> SplitPatterns(const std::string& text) {
    std::vector<std::string> patterns;
    const std::string separator = " ;; ";
    for (size_t start = 0;;) {
        size_t at = text.find(separator, start);
        patterns.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos) break;
        start = at + separator.size();
    }
    return patterns;
}

}  // namespace

std::string FillAddressWidth(const std::string& text) {
    const size_t width = sizeof(void*) * 2;
    const std::string digits = "{" + std::to_string(width) + "}";
    std::string filled;
    for (size_t at = 0; at < text.size();) {
        if (text.compare(at, 6, "{addr}") == 0) {
            filled += "[0-9a-f]" + digits;
            at += 6;
        } else if (text.compare(at, 6, "{ADDR}") == 0) {
            filled += "[0-9A-F]" + digits;
            at += 6;
        } else if (text.compare(at, 5, "{ptr:") == 0 && text.find('}', at) != std::string::npos) {
            const size_t close = text.find('}', at);
            const std::string number = text.substr(at + 5, close - at - 5);
            if (number.size() > width) throw std::runtime_error("wider than an address: " + number);
            filled += std::string(width - number.size(), '0') + number;
            at = close + 1;
        } else {
            filled += text[at++];
        }
    }
    return filled;
}

std::string FillMarkedLines(const std::string& pattern, const std::string& source) {
    std::vector<std::string> lines = ::crashtest::TextLines(source);
    std::string filled = pattern;
    for (size_t at; (at = filled.find("{line:")) != std::string::npos;) {
        size_t close = filled.find('}', at);
        if (close == std::string::npos) throw std::runtime_error("unclosed marker in " + pattern);
        std::string name = filled.substr(at + 6, close - at - 6), number;
        const std::string marker = "//@ " + name;
        for (size_t i = 0; i < lines.size() && number.empty(); ++i) {
            const std::string& line = lines[i];
            if (line.size() >= marker.size() &&
                line.compare(line.size() - marker.size(), marker.size(), marker) == 0)
                number = std::to_string(i + 1);
        }
        if (number.empty()) throw std::runtime_error("no line is marked " + name);
        filled.replace(at, close + 1 - at, number);
    }
    return filled;
}

int FindBlock(const std::vector<std::string>& lines, const std::vector<std::string>& patterns) {
    std::vector<std::regex> res;
    for (const std::string& p : patterns) res.emplace_back(p);
    for (size_t first = 0; first + res.size() <= lines.size(); ++first) {
        size_t i = 0;
        while (i < res.size() && std::regex_search(lines[first + i], res[i])) ++i;
        if (i == res.size()) return int(first);
    }
    return -1;
}

void CheckReportBlock(const std::filesystem::path& report, const std::filesystem::path& source,
                      const std::string& patterns) {
    std::vector<std::string> filled;
    try {
        for (const std::string& p : SplitPatterns(patterns))
            filled.push_back(FillMarkedLines(p, ::crashtest::ReadFileText(source)));
    } catch (const std::exception& e) {
        ADD_FAILURE() << e.what();
        return;
    }
    std::string text = ::crashtest::ReadFileText(report);
    if (FindBlock(::crashtest::TextLines(text), filled) >= 0) return;
    std::string wanted;
    for (const std::string& p : filled) wanted += "\n  " + p;
    ADD_FAILURE() << "no lines of " << report << " match, one after another:" << wanted << "\n"
                  << text.substr(0, 6000);
}

}  // namespace qr::crashtest
