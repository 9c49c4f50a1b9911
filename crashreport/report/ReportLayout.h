#pragma once
// The bug report's text: header lines with aligned names, then the
// sections, each after an empty line. Lines end with CR LF; the last one
// has no line break.
#include <vector>

#include "crashreport/report/Fields.h"

namespace qr {

AnsiString ComposeReportText(const std::vector<TReportField>& header,
                             const std::vector<TReportField>& sections);

// A header value on one line: CR LF, CR and LF become blanks, runs of
// blanks one blank.
AnsiString FoldHeaderValue(std::string_view value);

// Content split at CR LF, CR and LF.
std::vector<std::string_view> SplitLines(std::string_view text);

}  // namespace qr
