// POSIX: a plain thread; priorities are left to the system.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "crashreport/report/CompletionThread.h"

namespace qr {

struct TCompletionThread::TImpl {
    std::mutex Lock;
    std::condition_variable Ended;
    bool Done = false;
    std::thread Thread;
};

TCompletionThread::TCompletionThread(std::function<void()> work) : FImpl(std::make_unique<TImpl>()) {
    FImpl->Thread = std::thread([impl = FImpl.get(), work = std::move(work)] {
        try {
            work();
        } catch (...) {
            // The steps guard themselves; nothing may leave the thread.
        }
        std::lock_guard lock(impl->Lock);
        impl->Done = true;
        impl->Ended.notify_all();
    });
}

TCompletionThread::~TCompletionThread() { FImpl->Thread.join(); }

bool TCompletionThread::Wait(unsigned milliseconds) {
    std::unique_lock lock(FImpl->Lock);
    return FImpl->Ended.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                 [this] { return FImpl->Done; });
}

void TCompletionThread::RaiseToHighest() {}

}  // namespace qr
