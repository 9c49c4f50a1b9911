#pragma once
// The content of one thread section: the stack walk's steps, each in its
// own error guard, the naming of the chosen items, their lines and
// checksums, and the place where the thread was created.
#include <functional>
#include <optional>

#include "crashreport/report/Checksums.h"
#include "crashreport/report/Completion.h"
#include "crashreport/report/SectionFormats.h"
#include "crashreport/stack/StackWalkSteps.h"

namespace qr {

// Where another thread created this one.
struct TThreadCreator {
    AnsiString Description;  // the creator's thread description
    TCodeLocation Place;     // the creating call, named
};

struct TStackSectionInput {
    IStackWalk* Walk = nullptr;
    // Names a chosen item (the step "FillFinalOutput").
    std::function<TCodeLocation(const TStackFrame&)> Name;
    bool ShowRelAddrs = true, ShowRelLines = true;
    std::optional<TThreadCreator> Creator;
    // The position within the thread's progress area: 25 once the items
    // are collected, 650 once they are checked, 1000 at the end.
    std::function<void(int position)> Progress;
    // Where a failing step failed, as a location line (see Completion.h).
    TErrorLocation ErrorLocation;
    // The section when a step finds the stack unreadable (EStackNotAccessible).
    AnsiString NotAccessible = ">> stack not accessible";
};

// The section's lines, or ">> internal error in " and the failing step's
// name (with its location when known), or `NotAccessible`. `sums` gets the
// stack's checksums when the walk came through.
AnsiString StackSectionText(const TStackSectionInput& input, TStackChecksums* sums);

// The stack lines with ">> created by <creator> at:" in front of the last
// one, the creation place.
AnsiString WithCreatorLine(const AnsiString& stackLines, const AnsiString& creatorDescription);

}  // namespace qr
