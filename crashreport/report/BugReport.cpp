#include "crashreport/report/BugReport.h"

#include <chrono>

#include "crashreport/report/ReportLayout.h"

namespace qr {

TBugReport::TBugReport() {
    FHeader.SetOnChange([this] { Changed(); });
    FSections.SetOnChange([this] { Changed(); });
}

void TBugReport::SetOnChange(std::function<void()> onChange) {
    std::lock_guard lock(FLock);
    FOnChange = std::move(onChange);
}

void TBugReport::Changed() {
    std::function<void()> onChange;
    {
        std::lock_guard lock(FLock);
        ++FVersion;
        onChange = FOnChange;
    }
    if (onChange) onChange();
}

uint64_t TBugReport::Version() const {
    std::lock_guard lock(FLock);
    return FVersion;
}

AnsiString TBugReport::Text() {
    uint64_t before;
    {
        std::lock_guard lock(FLock);
        if (FCachedVersion == FVersion) return FCached;
        before = FVersion;
    }
    AnsiString text = ComposeReportText(FHeader.Items(), FSections.Items());
    std::lock_guard lock(FLock);
    if (FVersion == before) {
        FCached = text;
        FCachedVersion = before;
    }
    return text;
}

void TBugReport::MarkComplete() {
    {
        std::lock_guard lock(FLock);
        FComplete.store(true);
    }
    FCompleted.notify_all();
    Changed();
}

bool TBugReport::WaitComplete(unsigned milliseconds) {
    std::unique_lock lock(FLock);
    return FCompleted.wait_for(lock, std::chrono::milliseconds(milliseconds),
                               [this] { return FComplete.load(); });
}

}  // namespace qr
