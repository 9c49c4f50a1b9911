#include "app/QLSyncClass_win32.h"

#include "app/MainForm_win32.h"

namespace qr {

void TQLSyncClass::HandOff(TMainThreadQueue& queue, const UString& text) {
    TQLSyncClass sync(queue, text);
    sync.Synchronize();
}

void TQLSyncClass::RunInMainThread() {
    // During teardown the queue no longer runs hand-offs; these checks only
    // guard the window's own destruction order.
    TMainForm* form = TMainForm::Instance();
    if (!form || form->IsDestroying()) return;
    if (form->Memo1) form->Memo1->SetText(FText);
    if (TMailSlotWriter* writer = form->Writer()) writer->WriteString(UnicodeToAnsi(FText));
}

}  // namespace qr
