#pragma once
// Reading the files the crash-test programs leave: whole, or as lines
// without their line ends.
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace crashtest {

inline std::string ReadFileText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline std::vector<std::string> TextLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

}  // namespace crashtest
