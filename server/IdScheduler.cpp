#include "server/IdScheduler.h"

#include <algorithm>
#include <thread>

#include "server/IdTCPServer.h"
#include "server/IdThreadSupport.h"

namespace qr {

TIdThreadWithTask::TIdThreadWithTask(TIdSchedulerOfThreadDefault& scheduler, std::string name)
    : FScheduler(scheduler), FName(std::move(name)) {}

void TIdThreadWithTask::Launch() {
    // The thread frees itself when it ends, so nobody joins it.
    StartDetachedThread([this] { Execute(); }, kConnectionThreadStack);
}

void TIdThreadWithTask::Resume(TState state) {
    std::lock_guard<std::mutex> lock(FLock);
    FState = state;
    FGate.notify_all();
}

void TIdThreadWithTask::Start(std::unique_ptr<TIdServerContext> context) {
    {
        std::lock_guard<std::mutex> lock(FLock);
        FContext = std::move(context);
    }
    Resume(TState::Started);
}

void TIdThreadWithTask::Dispose() {
    // Unlisted here, on the caller's thread, so that a deactivation that
    // finds no connection threads does not wait for prepared ones.
    FScheduler.Remove(this);
    Resume(TState::Disposed);
}

void TIdThreadWithTask::Execute() {
    TState state;
    {
        std::unique_lock<std::mutex> lock(FLock);
        // The listener that prepared this thread always either starts or
        // disposes of it, including when it is stopped.
        FGate.wait(lock, [this] { return FState != TState::Suspended; });
        state = FState;
    }
    if (state == TState::Disposed) {
        FContext.reset();
        delete this;
        return;
    }
    AnnounceThreadName(FName);
    FContext->Server().RunConnection(*FContext, *this);
    // The context frees the connection, its I/O handler and the socket
    // (closed if still open) before the thread leaves the list, so a
    // deactivation that finds the list empty knows every socket is closed.
    FContext.reset();
    FScheduler.Remove(this);
    delete this;
}

TIdThreadWithTask* TIdSchedulerOfThreadDefault::NewThread() {
    auto* thread = new TIdThreadWithTask(*this, FName + " User");
    try {
        thread->Launch();
    } catch (...) {
        delete thread;
        throw;
    }
    std::lock_guard<std::mutex> lock(FLock);
    FThreads.push_back(thread);
    return thread;
}

void TIdSchedulerOfThreadDefault::Remove(TIdThreadWithTask* thread) {
    std::lock_guard<std::mutex> lock(FLock);
    FThreads.erase(std::remove(FThreads.begin(), FThreads.end(), thread), FThreads.end());
}

size_t TIdSchedulerOfThreadDefault::TerminateListedThreads() {
    std::lock_guard<std::mutex> lock(FLock);
    for (auto it = FThreads.rbegin(); it != FThreads.rend(); ++it) (*it)->Terminate();
    return FThreads.size();
}

size_t TIdSchedulerOfThreadDefault::ThreadCount() const {
    std::lock_guard<std::mutex> lock(FLock);
    return FThreads.size();
}

}  // namespace qr
