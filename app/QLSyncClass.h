#pragma once
// The hand-off of one network message to the main thread: writes its 8-bit
// form through the owner's mailslot writer and leaves it to the memo, where
// the owner shows the last message of each run of the queue. The window
// program and the headless program both forward this way; only what they
// give it differs.
#include <span>

#include "app/MemoUpdate.h"
#include "base/MainThreadQueue.h"
#include "base/Text.h"
#include "link/MailSlotWriter.h"

namespace qr {

// What a forwarded message is written to. Touched on the main thread only;
// the owner empties it when its objects go away.
struct TForwardTargets {
    // The main window's memo, shown at the end of each run of the queue by
    // its owner; null without a window.
    TMemoUpdate* Memo = nullptr;
    TMailSlotWriter* Writer = nullptr;
};

class TQLSyncClass : public TIdSync {
public:
    TQLSyncClass(TMainThreadQueue& queue, const TForwardTargets& targets, const UString& text)
        : TIdSync(queue), FTargets(targets), FText(text) {}
    // On a connection thread: returns once the main thread has forwarded
    // every one of `texts`, in their order.
    static void HandOff(TMainThreadQueue& queue, const TForwardTargets& targets,
                        std::span<const UString> texts);

protected:
    void RunInMainThread() override;

private:
    const TForwardTargets& FTargets;
    const UString FText;
};

}  // namespace qr
