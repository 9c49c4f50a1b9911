#pragma once
// The hand-off of one network message to the main thread: shows it in
// Memo1, then writes its 8-bit form through the main window's writer.
#include "base/Text.h"
#include "server/MainThreadQueue.h"

namespace qr {

class TQLSyncClass : public TIdSync {
public:
    TQLSyncClass(TMainThreadQueue& queue, const UString& text) : TIdSync(queue), FText(text) {}
    // On a connection thread: returns once the main thread has run it.
    static void HandOff(TMainThreadQueue& queue, const UString& text);

protected:
    void RunInMainThread() override;

private:
    const UString FText;
};

}  // namespace qr
