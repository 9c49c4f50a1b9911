#pragma once
// The thread that completes a report while the crash dialog is open. It
// runs above normal priority; whoever waits for it with the please-wait
// window raises it to the highest.
#include <functional>
#include <memory>

namespace qr {

class TCompletionThread {
public:
    explicit TCompletionThread(std::function<void()> work);
    // Waits for the work to end: the work itself is bounded (every step ends,
    // the abort flag stops it between steps).
    ~TCompletionThread();
    TCompletionThread(const TCompletionThread&) = delete;
    TCompletionThread& operator=(const TCompletionThread&) = delete;

    // True once the work has ended; waits at most `milliseconds`.
    bool Wait(unsigned milliseconds);
    void RaiseToHighest();

private:
    struct TImpl;
    std::unique_ptr<TImpl> FImpl;
};

}  // namespace qr
