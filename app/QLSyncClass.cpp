#include "app/QLSyncClass.h"

namespace qr {

void TQLSyncClass::HandOff(TMainThreadQueue& queue, const TForwardTargets& targets, const UString& text) {
    TQLSyncClass sync(queue, targets, text);
    sync.Synchronize();
}

void TQLSyncClass::RunInMainThread() {
    // The memo first: it shows what is being forwarded, also when the
    // write then fails.
    if (FTargets.ShowText) FTargets.ShowText(FText);
    if (FTargets.Writer) FTargets.Writer->WriteString(UnicodeToAnsi(FText));
}

}  // namespace qr
