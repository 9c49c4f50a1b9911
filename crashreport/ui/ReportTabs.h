#pragma once
// The large crash dialog's tabs: the report's header, its thread sections
// together, then every further section, each as a list of cells under
// column titles, or as plain text when its lines do not split into columns.
#include <string_view>
#include <vector>

#include "base/Text.h"
#include "crashreport/report/Fields.h"

namespace qr {

struct TReportTab {
    AnsiString Caption;
    // Empty when the tab shows `Text` in a read-only edit field instead.
    std::vector<AnsiString> Columns;
    std::vector<std::vector<AnsiString>> Rows;
    AnsiString Text;
};

struct TReportTabOptions {
    bool ShowRelAddrs = false;
    bool ShowRelLines = false;
};

// A thread's section name as the report builder writes it: the thread's
// description ("main thread ($1a4)", "thread $1a4 (TIdThread)"), ":", then
// " <suspended>" and " <priority:N>" when they apply.
bool IsThreadSectionName(std::string_view name);

// Tabs in order: "general", "call stack" / "call stacks" (when there is a
// thread section), then the other sections in report order.
std::vector<TReportTab> BuildReportTabs(const std::vector<TReportField>& header,
                                        const std::vector<TReportField>& sections,
                                        const TReportTabOptions& options);

// A line cut at runs of two or more blanks (single blanks stay inside a
// cell); blanks at either end are dropped.
std::vector<AnsiString> SplitAtBlankRuns(std::string_view line);

}  // namespace qr
