#pragma once
// The hand-off of one network message to the main thread: shows it where
// the owner shows messages, then writes its 8-bit form through the owner's
// mailslot writer. The window program and the headless program both
// forward this way; only what they give it differs.
#include <functional>
#include <span>

#include "base/MainThreadQueue.h"
#include "base/Text.h"
#include "link/MailSlotWriter.h"

namespace qr {

// What a forwarded message is written to. Touched on the main thread only;
// the owner empties it when its objects go away.
struct TForwardTargets {
    std::function<void(const UString&)> ShowText;  // the main window's memo; empty without a window
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
    const void* Kind() const override;

private:
    const TForwardTargets& FTargets;
    const UString FText;
};

}  // namespace qr
