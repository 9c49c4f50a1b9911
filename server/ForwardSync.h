#pragma once
// One message's trip through the main thread for the programs without a
// window: its 8-bit form is written to the mailslot, nothing is shown.
#include "base/Text.h"
#include "link/MailSlotWriter.h"
#include "server/MainThreadQueue.h"

namespace qr {

class TForwardSync : public TIdSync {
public:
    TForwardSync(TMainThreadQueue& queue, TMailSlotWriter& writer, const UString& text)
        : TIdSync(queue), FWriter(writer), FText(text) {}

protected:
    void RunInMainThread() override { FWriter.WriteString(UnicodeToAnsi(FText)); }

private:
    TMailSlotWriter& FWriter;
    UString FText;
};

}  // namespace qr
