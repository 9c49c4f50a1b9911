#pragma once
// A failure's bug report: its header and section lists, the composed text
// cached against a change counter, and the completion's flags.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

#include "crashreport/report/Fields.h"

namespace qr {

class TBugReport {
public:
    TBugReport();
    TBugReport(const TBugReport&) = delete;
    TBugReport& operator=(const TBugReport&) = delete;

    TIMEFields& Header() { return FHeader; }
    TIMEFields& Sections() { return FSections; }

    // Called after every change of either list (the report-changed
    // notification of the failure object).
    void SetOnChange(std::function<void()> onChange);

    // The text as it stands. The composition is cached; it is kept only when
    // no field changed while it was being composed.
    AnsiString Text();
    uint64_t Version() const;

    bool Complete() const { return FComplete.load(); }
    void MarkComplete();
    // Waits until the report is complete or `milliseconds` have passed.
    bool WaitComplete(unsigned milliseconds);

    void Abort() { FAbort.store(true); }
    bool Aborted() const { return FAbort.load(); }
    bool Saved() const { return FSaved.load(); }
    void MarkSaved() { FSaved.store(true); }

private:
    void Changed();

    TIMEFields FHeader, FSections;
    mutable std::mutex FLock;  // the cached text, the counter, the callback
    std::condition_variable FCompleted;
    uint64_t FVersion = 0;
    uint64_t FCachedVersion = UINT64_MAX;
    AnsiString FCached;
    std::function<void()> FOnChange;
    std::atomic<bool> FComplete{false}, FAbort{false}, FSaved{false};
};

}  // namespace qr
