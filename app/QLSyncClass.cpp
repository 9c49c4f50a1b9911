#include "app/QLSyncClass.h"

#include <deque>
#include <vector>

namespace qr {

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
    queue.ExecuteAll(operations);
}

void TQLSyncClass::RunInMainThread() {
    // The write first; the memo takes the last message of the queue's run
    // once the run has released every connection thread. Nothing can see
    // the memo in between: the main thread returns to no message loop
    // before that. The text is noted before the write, so that the memo
    // also shows a message whose write raised.
    if (FTargets.Memo) FTargets.Memo->Note(FText);
    try {
        if (FTargets.Writer) FTargets.Writer->WriteString(UnicodeToAnsi(FText));
    } catch (...) {
        // The error's handling may open a loop that shows the window: the
        // memo shows this message first. Should the memo fail too, the
        // write's error is the one reported.
        try {
            if (FTargets.Memo) FTargets.Memo->Show();
        } catch (...) {
        }
        throw;
    }
}

}  // namespace qr
