#include "crashreport/ui/ReportTabs.h"

#include <algorithm>
#include <cctype>

#include "crashreport/report/ReportLayout.h"

namespace qr {

namespace {

using TRow = std::vector<AnsiString>;

bool IsHexDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return std::isxdigit(uint8_t(c)); });
}

bool IsDecimal(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return std::isdigit(uint8_t(c)); });
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool EndsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// "$1a4" alone, as the thread's id is written.
bool IsThreadId(std::string_view text) {
    return text.size() > 1 && text[0] == '$' && IsHexDigits(text.substr(1));
}

// Still waiting for the completion thread, or a step of it failed: such a
// section has none of its usual columns.
bool HoldsPlaceholder(std::string_view content) {
    return content.find("will be calculated soon") != std::string_view::npos ||
           content.find(">> internal error in ") != std::string_view::npos;
}

std::vector<std::string_view> NonEmptyLines(std::string_view content) {
    std::vector<std::string_view> lines;
    for (std::string_view line : SplitLines(content))
        if (!TrimBlanks(line).empty()) lines.push_back(line);
    return lines;
}

// A stack line begins with its address: 8 or 16 hexadecimal digits.
bool IsStackLine(std::string_view line) {
    const size_t end = line.find(' ');
    return end != std::string_view::npos && end >= 8 && IsHexDigits(line.substr(0, end));
}

size_t TokenEnd(std::string_view line, size_t at) {
    while (at < line.size() && line[at] != ' ') ++at;
    return at;
}

bool BlankAt(std::string_view line, size_t at) { return at >= line.size() || line[at] == ' '; }

// Where the columns of one thread's stack lines begin. The report pads
// module and unit to their widest name plus one blank and right-aligns the
// line numbers likewise, so every column's width follows from the lines
// themselves, and the function takes the rest of a line, blanks and all.
// A lone location line has the same order with single blanks.
struct TStackColumns {
    size_t Names = 0;                                    // where the module column begins
    size_t Module = 0, Unit = 0, Line = 0, RelLine = 0;  // widths
};

// After the address and the "+offset" (when shown).
size_t NamesStart(std::string_view line, bool relAddrs) {
    size_t at = TokenEnd(line, 0) + 1;
    if (relAddrs && at < line.size() && line[at] == '+') at = TokenEnd(line, at) + 1;
    return at;
}

// A left-aligned name column: its widest name plus one, one blank when
// no line has a name there.
size_t NameWidth(const std::vector<std::string_view>& lines, size_t at) {
    size_t width = 0;
    for (std::string_view line : lines)
        if (!BlankAt(line, at)) width = std::max(width, TokenEnd(line, at) - at);
    return width + 1;
}

// A right-aligned number column ("12" or "+3"). A lone location line
// leaves it out when the number is unknown, the aligned lines keep it one
// blank wide: no column at all when a name stands where it begins.
size_t NumberWidth(const std::vector<std::string_view>& lines, size_t at, bool plus) {
    size_t width = 0;
    bool blank = true;
    for (std::string_view line : lines) {
        blank = blank && BlankAt(line, at);
        size_t p = at;
        while (p < line.size() && line[p] == ' ') ++p;
        if (plus) {
            if (p >= line.size() || line[p] != '+') continue;
            ++p;
        }
        const size_t digits = p;
        while (p < line.size() && std::isdigit(uint8_t(line[p]))) ++p;
        if (p > digits && p < line.size() && line[p] == ' ') width = std::max(width, p - at);
    }
    return width ? width + 1 : blank ? 1 : 0;
}

TStackColumns StackColumns(const std::vector<std::string_view>& lines, const TReportTabOptions& options) {
    TStackColumns c;
    if (lines.empty()) return c;
    c.Names = NamesStart(lines[0], options.ShowRelAddrs);
    c.Module = NameWidth(lines, c.Names);
    c.Unit = NameWidth(lines, c.Names + c.Module);
    c.Line = NumberWidth(lines, c.Names + c.Module + c.Unit, false);
    if (options.ShowRelLines) c.RelLine = NumberWidth(lines, c.Names + c.Module + c.Unit + c.Line, true);
    return c;
}

AnsiString Cell(std::string_view line, size_t from, size_t width) {
    if (from >= line.size()) return {};
    return AnsiString(TrimBlanks(line.substr(from, width)));
}

TRow StackCells(std::string_view line, const TStackColumns& c, const TReportTabOptions& options) {
    const size_t addressEnd = TokenEnd(line, 0);
    TRow row{AnsiString(line.substr(0, addressEnd))};
    if (options.ShowRelAddrs) row.push_back(Cell(line, addressEnd + 1, c.Names - addressEnd - 1));
    const size_t unitAt = c.Names + c.Module, lineAt = unitAt + c.Unit, relAt = lineAt + c.Line;
    AnsiString module = Cell(line, c.Names, c.Module);
    AnsiString unit = Cell(line, unitAt, c.Unit);
    AnsiString number = Cell(line, lineAt, c.Line);
    AnsiString rel = options.ShowRelLines ? Cell(line, relAt, c.RelLine) : AnsiString();
    AnsiString function = Cell(line, relAt + (options.ShowRelLines ? c.RelLine : 0), AnsiString::npos);
    // An address without any name: "???" stands right after it.
    if (function.empty()) std::swap(function, module);
    row.insert(row.end(), {module, unit, number});
    if (options.ShowRelLines) row.push_back(rel);
    row.push_back(function);
    return row;
}

TReportTab CallStackTab(const std::vector<const TReportField*>& threads, const TReportTabOptions& options) {
    TReportTab tab;
    tab.Caption = threads.size() > 1 ? "call stacks" : "call stack";
    tab.Columns.push_back("address");
    if (options.ShowRelAddrs) tab.Columns.push_back("rel.");
    tab.Columns.insert(tab.Columns.end(), {"module", "unit", "line"});
    if (options.ShowRelLines) tab.Columns.push_back("rel.");
    tab.Columns.push_back("function");
    for (size_t t = 0; t < threads.size(); ++t) {
        if (t) tab.Rows.emplace_back(tab.Columns.size());
        TRow title(tab.Columns.size());
        title[0] = ">> " + threads[t]->first;
        tab.Rows.push_back(title);
        std::vector<std::string_view> lines = NonEmptyLines(threads[t]->second), stack;
        for (std::string_view line : lines)
            if (IsStackLine(line)) stack.push_back(line);
        const TStackColumns columns = StackColumns(stack, options);
        // Other lines (">> created by ...", ">> stack not accessible") stay
        // whole in the first cell.
        for (std::string_view line : lines) {
            if (IsStackLine(line)) {
                tab.Rows.push_back(StackCells(line, columns, options));
                continue;
            }
            TRow row(tab.Columns.size());
            row[0] = AnsiString(TrimBlanks(line));
            tab.Rows.push_back(std::move(row));
        }
    }
    return tab;
}

// Cells of columns padded to a common width: a column begins where every
// line has a blank before it. Cells past `columns` stay with the last one,
// since paths and names may hold blanks.
std::vector<TRow> AlignedCells(const std::vector<std::string_view>& lines, size_t columns) {
    size_t width = 0;
    for (std::string_view line : lines) width = std::max(width, line.size());
    std::vector<bool> blank(width, true);
    for (std::string_view line : lines)
        for (size_t p = 0; p < line.size(); ++p)
            if (line[p] != ' ') blank[p] = false;
    std::vector<size_t> starts;
    for (size_t p = 0; p < width; ++p)
        if (!blank[p] && (p == 0 || blank[p - 1])) starts.push_back(p);
    if (starts.size() > columns) starts.resize(columns);
    std::vector<TRow> rows;
    for (std::string_view line : lines) {
        TRow row;
        for (size_t c = 0; c < starts.size(); ++c) {
            size_t from = std::min(starts[c], line.size());
            size_t to = c + 1 < starts.size() ? std::min(starts[c + 1], line.size()) : line.size();
            row.push_back(AnsiString(TrimBlanks(line.substr(from, to - from))));
        }
        rows.push_back(row);
    }
    return rows;
}

// The rule for sections without a layout of their own; plain text when no
// line has two cells.
TReportTab GeneralTab(AnsiString caption, std::string_view content) {
    TReportTab tab;
    tab.Caption = std::move(caption);
    size_t columns = 0;
    for (std::string_view line : NonEmptyLines(content)) {
        tab.Rows.push_back(SplitAtBlankRuns(line));
        columns = std::max(columns, tab.Rows.back().size());
    }
    if (columns < 2) {
        tab.Rows.clear();
        tab.Text = AnsiString(content);
        return tab;
    }
    tab.Columns.assign(columns, "");
    return tab;
}

TReportTab CpuRegistersTab(std::string_view content) {
    TReportTab tab{"cpu regs", {"reg.", "content"}, {}, {}};
    for (std::string_view line : NonEmptyLines(content)) {
        size_t eq = line.find(" = ");
        if (eq == std::string_view::npos)
            tab.Rows.push_back({AnsiString(TrimBlanks(line)), ""});
        else
            tab.Rows.push_back(
                {AnsiString(TrimBlanks(line.substr(0, eq))), AnsiString(TrimBlanks(line.substr(eq + 3)))});
    }
    return tab;
}

TReportTab SplitTab(AnsiString caption, std::vector<AnsiString> columns, std::string_view content) {
    TReportTab tab{std::move(caption), std::move(columns), {}, {}};
    for (std::string_view line : NonEmptyLines(content)) tab.Rows.push_back(SplitAtBlankRuns(line));
    return tab;
}

// One line of the listing as the report writes it: the address, " > " on
// the exception's line (else three blanks), the source line number when
// known, the instruction, a comment after ";". Labels, separators and
// "[...]" have no address; their text stands in the first column.
struct TDisasmLine {
    AnsiString Address, Line, Code, Comment;
    bool Instruction = false;
};

TDisasmLine ParseDisasmLine(std::string_view line) {
    TDisasmLine parsed;
    std::string_view code = line;
    const size_t semicolon = line.find(';');
    if (semicolon != std::string_view::npos) {
        parsed.Comment = AnsiString(TrimBlanks(line.substr(semicolon)));
        code = line.substr(0, semicolon);
    }
    const size_t end = code.find(' ');
    std::string_view first = code.substr(0, end);
    if (end == std::string_view::npos || first.size() < 8 || !IsHexDigits(first)) {
        parsed.Address = AnsiString(TrimBlanks(code));
        return parsed;
    }
    parsed.Instruction = true;
    std::string_view rest = code.substr(end);
    parsed.Address = AnsiString(first);
    if (rest.substr(0, 3) == " > ") {
        parsed.Address += " >";
        rest.remove_prefix(3);
    }
    rest = TrimBlanks(rest);
    const size_t numberEnd = rest.find(' ');
    if (numberEnd != std::string_view::npos && IsDecimal(rest.substr(0, numberEnd))) {
        parsed.Line = AnsiString(rest.substr(0, numberEnd));
        rest = TrimBlanks(rest.substr(numberEnd));
    }
    parsed.Code = AnsiString(rest);
    return parsed;
}

TReportTab DisasmTab(std::string_view content) {
    std::vector<TDisasmLine> lines;
    bool lineNumbers = false;
    for (std::string_view line : NonEmptyLines(content)) {
        lines.push_back(ParseDisasmLine(line));
        lineNumbers = lineNumbers || !lines.back().Line.empty();
    }
    // Listings with source line numbers carry one more column in front.
    TReportTab tab{"disasm", {"address", "asm code", "comments"}, {}, {}};
    if (lineNumbers) tab.Columns.insert(tab.Columns.begin(), "line");
    for (const TDisasmLine& l : lines) {
        TRow row{l.Address, l.Code, l.Comment};
        if (lineNumbers) row.insert(row.begin(), l.Line);
        tab.Rows.push_back(std::move(row));
    }
    return tab;
}

TReportTab ModulesTab(std::string_view content) {
    return {
        "modules", {"handle", "file name", "version", "path"}, AlignedCells(NonEmptyLines(content), 4), {}};
}

TReportTab ProcessesTab(std::string_view content) {
    // The two-word priority names would look like a column border when no
    // other line has text there; they are kept together while aligning.
    std::vector<AnsiString> joined;
    for (std::string_view line : NonEmptyLines(content)) {
        AnsiString text(line);
        for (const char* name : {"below normal", "above normal"})
            for (size_t at = text.find(name); at != AnsiString::npos; at = text.find(name, at + 1))
                text[at + 5] = '\x01';
        joined.push_back(text);
    }
    std::vector<TRow> rows = AlignedCells(std::vector<std::string_view>(joined.begin(), joined.end()), 7);
    for (TRow& row : rows)
        for (AnsiString& cell : row) std::replace(cell.begin(), cell.end(), '\x01', ' ');
    size_t columns = 0;
    for (const TRow& row : rows) columns = std::max(columns, row.size());
    TReportTab tab{"processes", {"id", "file name"}, std::move(rows), {}};
    // The optional columns are written only when some process has them:
    // one more column is the session, two more the object counts.
    if (columns == 5 || columns == 7) tab.Columns.push_back("session");
    if (columns >= 6) tab.Columns.insert(tab.Columns.end(), {"gdi objects", "user objects"});
    tab.Columns.insert(tab.Columns.end(), {"priority", "path"});
    return tab;
}

TReportTab SectionTab(const TReportField& section) {
    const AnsiString& name = section.first;
    std::string_view content = section.second;
    AnsiString caption = name == "cpu registers" ? "cpu regs" : name == "disassembling" ? "disasm" : name;
    if (HoldsPlaceholder(content)) return GeneralTab(caption, content);
    if (name == "cpu registers") return CpuRegistersTab(content);
    if (name == "disassembling") return DisasmTab(content);
    if (name == "stack dump")
        return SplitTab(caption, {"address", "data - hexadecimal", "data - chars"}, content);
    if (name == "modules") return ModulesTab(content);
    if (name == "processes") return ProcessesTab(content);
    return GeneralTab(caption, content);
}

}  // namespace

bool IsThreadSectionName(std::string_view name) {
    // The marks after the colon, last one first.
    while (EndsWith(name, ">")) {
        size_t open = name.rfind(" <");
        if (open == std::string_view::npos) return false;
        std::string_view mark = name.substr(open + 2, name.size() - open - 3);
        bool priority = StartsWith(mark, "priority:") &&
                        IsDecimal(mark.substr(mark.size() > 9 && mark[9] == '-' ? 10 : 9));
        if (mark != "suspended" && !priority) return false;
        name = name.substr(0, open);
    }
    if (!EndsWith(name, ":")) return false;
    std::string_view description = name.substr(0, name.size() - 1);
    if (StartsWith(description, "thread $")) {
        std::string_view rest = description.substr(7);
        size_t end = rest.find(' ');
        if (end == std::string_view::npos) return IsThreadId(rest);
        return IsThreadId(rest.substr(0, end)) && StartsWith(rest.substr(end), " (") && EndsWith(rest, ")");
    }
    // A named thread: its name, then its id in brackets.
    size_t open = description.rfind(" (");
    return open != std::string_view::npos && open > 0 && EndsWith(description, ")") &&
           IsThreadId(description.substr(open + 2, description.size() - open - 3));
}

std::vector<AnsiString> SplitAtBlankRuns(std::string_view line) {
    std::vector<AnsiString> cells;
    line = TrimBlanks(line);
    size_t start = 0;
    while (start < line.size()) {
        size_t run = line.find("  ", start);
        if (run == std::string_view::npos) run = line.size();
        cells.push_back(AnsiString(line.substr(start, run - start)));
        start = line.find_first_not_of(' ', run);
        if (start == std::string_view::npos) break;
    }
    return cells;
}

std::vector<TReportTab> BuildReportTabs(const std::vector<TReportField>& header,
                                        const std::vector<TReportField>& sections,
                                        const TReportTabOptions& options) {
    std::vector<TReportTab> tabs;
    TReportTab general{"general", {"description", "value"}, {}, {}};
    for (const TReportField& field : header)
        general.Rows.push_back({field.first, FoldHeaderValue(field.second)});
    tabs.push_back(std::move(general));

    std::vector<const TReportField*> threads;
    for (const TReportField& section : sections)
        if (IsThreadSectionName(section.first)) threads.push_back(&section);
    if (!threads.empty()) tabs.push_back(CallStackTab(threads, options));

    for (const TReportField& section : sections)
        if (!IsThreadSectionName(section.first)) tabs.push_back(SectionTab(section));
    return tabs;
}

}  // namespace qr
