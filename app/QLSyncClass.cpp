#include "app/QLSyncClass.h"

#include <deque>
#include <vector>

namespace qr {

namespace {

// Names forwarding hand-offs for the queue.
const char kForwardKind = 0;

}  // namespace

void TQLSyncClass::HandOff(TMainThreadQueue& queue, const TForwardTargets& targets,
                           std::span<const UString> texts) {
    // The messages of one receive go as one batch: one wake-up of the main
    // thread and one sleep of the connection thread for all of them, and
    // still one hand-off (one write, its own error handling) each.
    std::deque<TQLSyncClass> syncs;
    std::vector<TMainThreadQueue::TOperation> operations;
    operations.reserve(texts.size());
    for (const UString& text : texts) {
        TQLSyncClass& sync = syncs.emplace_back(queue, targets, text);
        operations.emplace_back([&sync] { sync.RunInMainThread(); });
    }
    queue.ExecuteAll(operations, &kForwardKind);
}

const void* TQLSyncClass::Kind() const { return &kForwardKind; }

void TQLSyncClass::RunInMainThread() {
    // The memo first: it shows what is being forwarded, also when the
    // write then fails. When another forwarding runs right after this one,
    // only the last of them replaces the text (replacing it is the
    // costliest step by far): the main thread does not return to its
    // message loop in between, so no paint, no window message and no other
    // program asking for the text can see the memo between the two, and
    // it ends with the last message as before. Should the write raise, the
    // error's handling may open a loop that shows the memo, so the text is
    // put in place first.
    bool shown = false;
    if (FTargets.ShowText && !Queue().RunsNextAtOnce(Kind())) {
        FTargets.ShowText(FText);
        shown = true;
    }
    try {
        if (FTargets.Writer) FTargets.Writer->WriteString(UnicodeToAnsi(FText));
    } catch (...) {
        if (FTargets.ShowText && !shown) FTargets.ShowText(FText);
        throw;
    }
}

}  // namespace qr
