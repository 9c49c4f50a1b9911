#include "crashreport/report/SectionFormats.h"

#include <algorithm>
#include <map>

#include "crashreport/report/HeaderFormats.h"

namespace qr {

namespace {

AnsiString Padded(AnsiString text, size_t width) {
    if (text.size() < width) text.resize(width, ' ');
    return text;
}

AnsiString JoinLines(const std::vector<AnsiString>& lines) {
    AnsiString text;
    for (size_t i = 0; i < lines.size(); ++i) text += (i ? "\r\n" : "") + lines[i];
    return text;
}

AnsiString Lower(std::string_view text) {
    AnsiString out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return out;
}

bool LessNoCase(const AnsiString& a, const AnsiString& b) {
    AnsiString la = Lower(a), lb = Lower(b);
    return la != lb ? la < lb : a < b;
}

}  // namespace

AnsiString FormatLocationLine(const TCodeLocation& l, bool showRelAddrs, bool showRelLines, int digits) {
    AnsiString line = Hex(l.Address, digits);
    if (showRelAddrs) line += " +" + Hex(l.Offset.value_or(0));
    // Module and unit keep their blanks when empty, so that a reader finds
    // the function after them even when its name holds blanks; only an
    // address without any name is written short.
    if (!l.Module.empty() || !l.Unit.empty() || !l.Function.empty() || l.Line)
        line += " " + l.Module + " " + l.Unit;
    if (l.Line) {
        line += " " + std::to_string(l.Line);
        if (showRelLines && l.LineOffset) line += " +" + std::to_string(*l.LineOffset);
    }
    line += " " + (l.Function.empty() ? AnsiString("???") : l.Function);
    return line;
}

AnsiString FormatStackLines(const std::vector<TCodeLocation>& items, bool showRelAddrs, bool showRelLines,
                            int digits) {
    // Every column is one blank wider than its widest cell, one blank wide
    // when no item fills it: the columns stay where a reader expects them.
    size_t offsetWidth = 1, moduleWidth = 0, unitWidth = 0, lineWidth = 0, relWidth = 0;
    auto relLine = [](const TCodeLocation& l) {
        return l.Line && l.LineOffset ? "+" + std::to_string(*l.LineOffset) : AnsiString();
    };
    for (const TCodeLocation& l : items) {
        offsetWidth = std::max(offsetWidth, Hex(l.Offset.value_or(0)).size());
        moduleWidth = std::max(moduleWidth, l.Module.size());
        unitWidth = std::max(unitWidth, l.Unit.size());
        if (l.Line) lineWidth = std::max(lineWidth, std::to_string(l.Line).size());
        relWidth = std::max(relWidth, relLine(l).size());
    }
    auto rightAligned = [](const AnsiString& text, size_t width) {
        return AnsiString(width - text.size(), ' ') + text + " ";
    };
    std::vector<AnsiString> lines;
    for (const TCodeLocation& l : items) {
        AnsiString line = Hex(l.Address, digits) + " ";
        if (showRelAddrs) line += "+" + Hex(l.Offset.value_or(0), int(offsetWidth)) + " ";
        line += Padded(l.Module, moduleWidth + 1);
        line += Padded(l.Unit, unitWidth + 1);
        line += rightAligned(l.Line ? std::to_string(l.Line) : AnsiString(), lineWidth);
        if (showRelLines) line += rightAligned(relLine(l), relWidth);
        line += l.Function.empty() ? AnsiString("???") : l.Function;
        lines.push_back(line);
    }
    return JoinLines(lines);
}

AnsiString FormatCpuRegisters(const std::vector<std::pair<AnsiString, uint64_t>>& registers, int digits) {
    std::vector<AnsiString> lines;
    for (const auto& [name, value] : registers) lines.push_back(name + " = " + Hex(value, digits));
    return JoinLines(lines);
}

AnsiString FormatStackDump(uint64_t address, const unsigned char* bytes, size_t size, int digits) {
    std::vector<AnsiString> lines;
    for (size_t offset = 0; offset < size && lines.size() < 20; offset += 16) {
        AnsiString hex, chars;
        for (size_t i = 0; i < 16; ++i) {
            bool inside = offset + i < size;
            if (i == 8) hex += inside ? "- " : "  ";
            if (!inside) {
                hex += "   ";
                continue;
            }
            unsigned char b = bytes[offset + i];
            hex += Hex(b, 2) + " ";
            chars += b >= 33 && b <= 126 ? char(b) : '.';
        }
        lines.push_back(Hex(address + offset, digits) + "  " + hex + " " + chars);
    }
    return JoinLines(lines);
}

AnsiString FormatModules(std::vector<TModuleLine> modules, int digits) {
    std::sort(modules.begin(), modules.end(),
              [](const TModuleLine& a, const TModuleLine& b) { return a.Base < b.Base; });
    size_t nameWidth = 0, versionWidth = 0;
    for (const TModuleLine& m : modules) {
        nameWidth = std::max(nameWidth, m.FileName.size() + 1);
        versionWidth = std::max(versionWidth, m.Version.size() + 1);
    }
    std::vector<AnsiString> lines;
    for (const TModuleLine& m : modules) {
        AnsiString folder = m.Folder;
        if (!folder.empty() && folder.back() != '\\') folder += '\\';
        lines.push_back(Hex(m.Base, digits) + " " + Padded(m.FileName, nameWidth) +
                        Padded(m.Version, versionWidth) + folder);
    }
    return JoinLines(lines);
}

AnsiString PriorityClassName(uint32_t priorityClass) {
    switch (priorityClass) {
        case 0x40:
            return "idle";
        case 0x4000:
            return "below normal";
        case 0x20:
            return "normal";
        case 0x8000:
            return "above normal";
        case 0x80:
            return "high";
        case 0x100:
            return "realtime";
        default:
            return Hex(priorityClass);
    }
}

AnsiString FormatProcesses(const std::vector<TProcessLine>& processes) {
    size_t idWidth = 0, nameWidth = 0, sessionWidth = 0, gdiWidth = 0, userWidth = 0, priorityWidth = 0;
    auto name = [](const TProcessLine& p) { return p.Id == 0 ? AnsiString("Idle") : p.FileName; };
    auto number = [](const std::optional<uint32_t>& n) { return n ? std::to_string(*n) : AnsiString(); };
    for (const TProcessLine& p : processes) {
        idWidth = std::max(idWidth, Hex(p.Id).size());
        nameWidth = std::max(nameWidth, name(p).size() + 1);
        if (p.SessionId) sessionWidth = std::max(sessionWidth, number(p.SessionId).size() + 1);
        if (p.GdiObjects) gdiWidth = std::max(gdiWidth, number(p.GdiObjects).size() + 1);
        if (p.UserObjects) userWidth = std::max(userWidth, number(p.UserObjects).size() + 1);
        priorityWidth = std::max(priorityWidth, PriorityClassName(p.PriorityClass).size() + 1);
    }
    std::vector<AnsiString> lines;
    for (const TProcessLine& p : processes) {
        AnsiString line = Hex(p.Id, int(idWidth)) + " " + Padded(name(p), nameWidth);
        // A column is there when any process has a value for it.
        if (sessionWidth) line += Padded(number(p.SessionId), sessionWidth);
        if (gdiWidth) line += Padded(number(p.GdiObjects), gdiWidth);
        if (userWidth) line += Padded(number(p.UserObjects), userWidth);
        line += Padded(p.PriorityClass ? PriorityClassName(p.PriorityClass) : AnsiString(), priorityWidth);
        lines.push_back(line + p.Path);
    }
    return JoinLines(lines);
}

AnsiString FormatHardware(const std::vector<TDeviceLine>& devices) {
    std::map<AnsiString, std::vector<AnsiString>, decltype(&LessNoCase)> classes(&LessNoCase);
    for (const TDeviceLine& d : devices) {
        AnsiString line = "  - " + d.Description;
        const AnsiString& provider = d.DriverProvider;
        if (!provider.empty() && provider[0] != '(' && Lower(provider) != "microsoft") {
            const AnsiString& version = d.DriverVersion.empty() ? d.DriverDate : d.DriverVersion;
            line += " (driver " + version + ")";
        }
        classes[d.ClassName].push_back(line);
    }
    std::vector<AnsiString> lines;
    for (auto& [name, items] : classes) {
        lines.push_back("+ " + name);
        std::sort(items.begin(), items.end(), LessNoCase);
        lines.insert(lines.end(), items.begin(), items.end());
    }
    return JoinLines(lines);
}

}  // namespace qr
