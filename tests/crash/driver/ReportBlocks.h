#pragma once
// Report checks against the test program's own source: "{line:NAME}" in a
// pattern stands for the number of the source line that ends with the
// comment "//@ NAME", so a check follows the program when lines move.
#include <filesystem>
#include <string>
#include <vector>

namespace qr::crashtest {

// `text` with the address width of this build (16 hex digits on x86-64, 8
// on x86) filled in: "{addr}" is a pattern of lower-case digits, "{ADDR}" of
// upper-case ones, "{ptr:HEX}" the number HEX with leading zeros.
std::string FillAddressWidth(const std::string& text);

// `pattern` with every "{line:NAME}" replaced; an unknown marker is an
// error (thrown as std::runtime_error).
std::string FillMarkedLines(const std::string& pattern, const std::string& source);

// The first index at which the lines match the patterns one after another,
// each pattern searched in its line; -1 when there is none.
int FindBlock(const std::vector<std::string>& lines, const std::vector<std::string>& patterns);

// "report-block RE ;; RE ;; ...": consecutive lines of the report file
// match the patterns (markers filled from `source`); a failure is added to
// the running test otherwise.
void CheckReportBlock(const std::filesystem::path& report, const std::filesystem::path& source,
                      const std::string& patterns);

}  // namespace qr::crashtest
