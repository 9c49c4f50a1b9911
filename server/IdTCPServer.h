#pragma once
// TIdTCPServer: accepts TCP connections on its bindings and serves each on
// a thread of its own, which calls OnExecute until the connection ends.
// Activation and deactivation run on the calling thread (the main thread
// in the program); a listener thread per binding accepts connections.
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/Component.h"
#include "server/IdScheduler.h"
#include "server/IdSocketHandle.h"
#include "server/IdTCPConnection.h"
#include "base/MainThreadQueue.h"

namespace qr {

enum class TIdReuseSocket { rsOSDependent, rsTrue, rsFalse };

class TIdTCPServer;

// The local endpoints to listen on.
class TIdSocketHandles {
public:
    explicit TIdSocketHandles(std::shared_ptr<TIdStack> stack) : FStack(std::move(stack)) {}
    // A binding on the any-address with the server's default port.
    TIdSocketHandle& Add();
    int Count() const { return int(FItems.size()); }
    TIdSocketHandle& operator[](int index) { return *FItems.at(size_t(index)); }
    void Clear() { FItems.clear(); }
    void SetDefaultPort(uint16_t port) { FDefaultPort = port; }

private:
    std::shared_ptr<TIdStack> FStack;
    std::vector<std::unique_ptr<TIdSocketHandle>> FItems;
    uint16_t FDefaultPort = 0;
};

// Creates the I/O handler of each accepted connection.
class TIdServerIOHandlerStack {
public:
    explicit TIdServerIOHandlerStack(std::shared_ptr<TIdStack> stack) : FStack(std::move(stack)) {}
    std::unique_ptr<TIdIOHandlerStack> MakeClientIOHandler();

private:
    std::shared_ptr<TIdStack> FStack;
};

class TIdListenerThread {
public:
    TIdListenerThread(TIdTCPServer& server, TIdSocketHandle& binding, std::string name);
    ~TIdListenerThread();
    const std::string& Name() const { return FName; }
    TIdSocketHandle& Binding() { return FBinding; }
    void Start();
    void Stop() { FStopped.store(true); }
    bool Finished() const { return FFinished.IsSet(); }
    void Join();

private:
    void Run();
    // Accepts one connection into `io`; false when the listener was stopped.
    bool WaitForConnection(TIdIOHandlerStack& io);

    TIdTCPServer& FServer;
    TIdSocketHandle& FBinding;
    const std::string FName;
    std::atomic<bool> FStopped{false};
    TEvent FFinished;
    std::thread FThread;
};

class TIdTCPServer : public TComponent {
public:
    using TIdServerThreadEvent = std::function<void(TIdContext&)>;

    // Starts the socket stack (raises EIdStackInitializationFailed).
    explicit TIdTCPServer(TComponent* owner);
    // A server on the given stack instead of the process's one (tests put a
    // stack of their own in between).
    TIdTCPServer(TComponent* owner, std::shared_ptr<TIdStack> stack);
    // Deactivates first.
    ~TIdTCPServer() override;

    const char* ClassName() const override { return "TIdTCPServer"; }

    uint16_t DefaultPort() const { return FDefaultPort; }
    void SetDefaultPort(uint16_t port);
    TIdSocketHandles& Bindings() { return FBindings; }
    int ListenQueue() const { return FListenQueue; }
    void SetListenQueue(int value) { FListenQueue = value; }
    int MaxConnections() const { return FMaxConnections; }
    void SetMaxConnections(int value) { FMaxConnections = value; }
    TIdReuseSocket ReuseSocket() const { return FReuseSocket; }
    void SetReuseSocket(TIdReuseSocket value) { FReuseSocket = value; }

    // Called on the connection thread with the connection's context, again
    // and again while the connection stays connected; an error leaving it
    // ends the connection silently.
    TIdServerThreadEvent OnExecute;

    bool Active() const { return FActive.load(); }
    // true: bindings (IPv4, then IPv6 when the stack has it, on any address
    // and DefaultPort when none are set), bind, listen, start the listeners;
    // errors propagate and leave the server inactive. false: deactivation.
    void SetActive(bool value);

    // The main thread's request queue. While the thread that deactivates
    // the server is that queue's main thread, it keeps running queued
    // requests while it waits for the server's threads, so that connection
    // threads waiting for the main thread can finish. The queue must
    // outlive the server.
    void SetMainThreadQueue(TMainThreadQueue* queue) { FQueue = queue; }

    size_t ContextCount() const;
    int ListenerCount() const;
    TIdStack& Stack() { return *FStack; }

    void Loaded() override;

protected:
    // The deactivation's wait between two looks at the connection threads.
    virtual void SleepWhileThreadsRemain(std::chrono::milliseconds period);

private:
    friend class TIdListenerThread;
    friend class TIdThreadWithTask;

    void Activate();
    void Deactivate();
    void AddDefaultBindings();
    void CloseBindingSockets();
    bool UseReuseAddress();
    void StopListeners();
    void WaitForListener(TIdListenerThread& listener);
    // Runs on the connection thread: the connection's whole life.
    void RunConnection(TIdServerContext& context, TIdThreadWithTask& thread);
    void AddContext(TIdServerContext* context);
    void RemoveContext(TIdServerContext* context);
    void ListenerEnded();

    std::shared_ptr<TIdStack> FStack;
    uint16_t FDefaultPort = 0;
    TIdSocketHandles FBindings;
    int FListenQueue = 15;
    int FMaxConnections = 0;
    TIdReuseSocket FReuseSocket = TIdReuseSocket::rsOSDependent;
    std::atomic<bool> FActive{false};
    bool FStreamedActive = false;
    TMainThreadQueue* FQueue = nullptr;

    TIdServerThreadEvent FRunningOnExecute;  // fixed while active
    std::unique_ptr<TIdServerIOHandlerStack> FIOHandler;
    std::unique_ptr<TIdSchedulerOfThreadDefault> FScheduler;

    mutable std::mutex FListenersLock;
    std::vector<std::unique_ptr<TIdListenerThread>> FListeners;
    mutable std::mutex FContextsLock;
    std::vector<TIdServerContext*> FContexts;
};

}  // namespace qr
