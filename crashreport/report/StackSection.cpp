#include "crashreport/report/StackSection.h"

namespace qr {

AnsiString WithCreatorLine(const AnsiString& stackLines, const AnsiString& creatorDescription) {
    size_t last = stackLines.rfind("\r\n");
    AnsiString line = ">> created by " + creatorDescription + " at:";
    if (last == AnsiString::npos) return line + "\r\n" + stackLines;
    return stackLines.substr(0, last) + "\r\n" + line + stackLines.substr(last);
}

AnsiString StackSectionText(const TStackSectionInput& in, TStackChecksums* sums) {
    auto progress = [&](int position) {
        if (in.Progress) in.Progress(position);
    };
    AnsiString text;
    // Each step in its own guard; after a failing one the rest is skipped.
    const char* failed = nullptr;
    bool notAccessible = false;
    AnsiString failure;
    auto step = [&](const char* name, const auto& body) {
        if (failed) return;
        try {
            body();
        } catch (const EStackNotAccessible&) {
            failed = name;
            notAccessible = true;
        } catch (...) {
            failed = name;
            failure = InternalErrorText(name, in.ErrorLocation);
        }
    };
    IStackWalk& walk = *in.Walk;
    step("CollectPossibleStackItems", [&] { walk.CollectPossibleStackItems(); });
    progress(25);
    step("RemoveRecursiveStackAreas", [&] { walk.RemoveRecursiveStackAreas(); });
    step("InDeepChecks", [&] { walk.InDeepChecks(); });
    progress(650);
    step("RealizeOptimalLinkChains", [&] { walk.RealizeOptimalLinkChains(); });
    step("RemoveRecursiveAreas", [&] { walk.RemoveRecursiveAreas(); });
    std::vector<TCodeLocation> items;
    step("FillFinalOutput", [&] {
        for (const TStackFrame& frame : walk.Frames()) items.push_back(in.Name(frame));
    });
    step("ComposeResult", [&] {
        if (in.Creator) items.push_back(in.Creator->Place);
        text = FormatStackLines(items, in.ShowRelAddrs, in.ShowRelLines);
        if (in.Creator) text = WithCreatorLine(text, in.Creator->Description);
        if (sums) {
            std::vector<TStackItemName> names;
            for (const TCodeLocation& l : items)
                names.push_back(
                    {l.Address, l.Offset ? l.Address - *l.Offset : 0, l.Module, l.Unit, l.Function, l.Line});
            *sums = StackChecksums(names);
        }
    });
    if (failed) text = notAccessible ? in.NotAccessible : failure;
    progress(1000);
    return text;
}

}  // namespace qr
