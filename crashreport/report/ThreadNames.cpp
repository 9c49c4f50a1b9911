#include "crashreport/report/ThreadNames.h"

#include "crashreport/report/HeaderFormats.h"

namespace qr {

bool IsOwnThreadName(std::string_view name) {
    return name == "Tobrisk - HandleExceptionThread" || name == "Tobrisk - AntiFreezeThread" ||
           name == "Tobrisk - TraceProcessThread";
}

AnsiString ThreadDescription(const TThreadEntry& entry, bool failing) {
    if (!failing && (entry.Name == "-" || IsOwnThreadName(entry.Name))) return {};
    if (!entry.Name.empty() && entry.Name != "-") return entry.Name + " ($" + Hex(entry.Id) + ")";
    AnsiString text = "thread $" + Hex(entry.Id);
    if (!entry.ClassName.empty()) text += " (" + entry.ClassName + ")";
    return text;
}

AnsiString ThreadSectionName(const AnsiString& description, bool suspended, int priority) {
    AnsiString name = description + ":";
    if (suspended) name += " <suspended>";
    if (priority != 0) name += " <priority:" + std::to_string(priority) + ">";
    return name;
}

}  // namespace qr
