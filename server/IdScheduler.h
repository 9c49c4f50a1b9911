#pragma once
// Connection threads and the scheduler that keeps the list of those not yet
// finished. A connection thread is created suspended, before its
// connection is accepted; it is then either started with the connection's
// context or disposed of without running. Either way it frees itself.
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "server/IdTCPConnection.h"

namespace qr {

class TIdSchedulerOfThreadDefault;

class TIdThreadWithTask {
public:
    const std::string& Name() const { return FName; }
    // Hands over the context and lets the thread run it.
    void Start(std::unique_ptr<TIdServerContext> context);
    // The thread never runs a connection: it leaves the scheduler's list at
    // once and ends, freeing itself.
    void Dispose();
    void Terminate() { FTerminated.store(true); }
    bool Terminated() const { return FTerminated.load(); }

private:
    friend class TIdSchedulerOfThreadDefault;
    enum class TState { Suspended, Started, Disposed };

    TIdThreadWithTask(TIdSchedulerOfThreadDefault& scheduler, std::string name);
    ~TIdThreadWithTask() = default;
    void Launch();
    void Execute();
    void Resume(TState state);

    TIdSchedulerOfThreadDefault& FScheduler;
    const std::string FName;
    std::mutex FLock;
    std::condition_variable FGate;
    TState FState = TState::Suspended;
    std::atomic<bool> FTerminated{false};
    std::unique_ptr<TIdServerContext> FContext;
};

class TIdSchedulerOfThreadDefault {
public:
    explicit TIdSchedulerOfThreadDefault(std::string name) : FName(std::move(name)) {}
    TIdSchedulerOfThreadDefault(const TIdSchedulerOfThreadDefault&) = delete;
    TIdSchedulerOfThreadDefault& operator=(const TIdSchedulerOfThreadDefault&) = delete;

    const std::string& Name() const { return FName; }
    // A new suspended connection thread, named "<scheduler name> User" and
    // listed until it has finished.
    TIdThreadWithTask* NewThread();
    // One check of the deactivation wait: when threads are listed, tells
    // each, last to first, to stop; returns how many were listed.
    size_t TerminateListedThreads();
    size_t ThreadCount() const;

private:
    friend class TIdThreadWithTask;
    void Remove(TIdThreadWithTask* thread);

    const std::string FName;
    mutable std::mutex FLock;
    std::vector<TIdThreadWithTask*> FThreads;
};

}  // namespace qr
