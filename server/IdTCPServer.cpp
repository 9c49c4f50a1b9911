#include "server/IdTCPServer.h"

#include <algorithm>

#include "server/IdThreadSupport.h"

namespace qr {

namespace {

// Listeners look for a stop request between waits of this length.
constexpr int kAcceptWaitMs = 250;
// The deactivation looks at the remaining connection threads this often.
constexpr std::chrono::milliseconds kThreadWaitStep{500};

// One accept-wait slice, cut short by nothing: the stop request is looked
// at afterwards.
void Pause() { std::this_thread::sleep_for(std::chrono::milliseconds(kAcceptWaitMs)); }

}  // namespace

TIdSocketHandle& TIdSocketHandles::Add() {
    FItems.push_back(std::make_unique<TIdSocketHandle>(FStack));
    FItems.back()->Port = FDefaultPort;
    return *FItems.back();
}

std::unique_ptr<TIdIOHandlerStack> TIdServerIOHandlerStack::MakeClientIOHandler() {
    auto io = std::make_unique<TIdIOHandlerStack>(FStack);
    io->Open();
    return io;
}

// ---- listener thread ----

TIdListenerThread::TIdListenerThread(TIdTCPServer& server, TIdSocketHandle& binding, std::string name)
    : FServer(server), FBinding(binding), FName(std::move(name)) {}

TIdListenerThread::~TIdListenerThread() {
    Stop();
    Join();
}

void TIdListenerThread::Start() { FThread = std::thread(&TIdListenerThread::Run, this); }

void TIdListenerThread::Join() {
    if (FThread.joinable()) FThread.join();
}

bool TIdListenerThread::WaitForConnection(TIdIOHandlerStack& io) {
    bool failedBefore = false;
    for (;;) {
        if (FStopped.load() || !FBinding.HandleAllocated()) return false;
        bool readable;
        try {
            readable = FBinding.Select(kAcceptWaitMs);
        } catch (const EIdException&) {
            // A wait that fails at once would otherwise spin.
            Pause();
            continue;
        }
        if (!readable) continue;
        TIdAcceptResult accepted = FBinding.Accept();
        if (accepted.Handle == Id_INVALID_SOCKET) {
            // A failed accept: keep waiting. One failure (a client gone
            // before it was taken) costs nothing; failures in a row (no
            // descriptors or buffers left) leave the connection waiting
            // and the socket readable, so pause instead of spinning.
            if (failedBefore) Pause();
            failedBefore = true;
            continue;
        }
        io.Binding().IPVersion = FBinding.IPVersion;
        io.Binding().Port = FBinding.Port;
        io.Binding().Attach(accepted);
        return true;
    }
}

void TIdListenerThread::Run() {
    AnnounceThreadName(FName);
    SetCurrentThreadPriorityHighest();
    while (!FStopped.load()) {
        TIdThreadWithTask* prepared = nullptr;
        try {
            prepared = FServer.FScheduler->NewThread();
            std::unique_ptr<TIdIOHandlerStack> io = FServer.FIOHandler->MakeClientIOHandler();
            if (!WaitForConnection(*io)) {
                prepared->Dispose();
                break;
            }
            auto connection = std::make_unique<TIdTCPConnection>(std::move(io));
            if (FServer.FMaxConnections > 0 && FServer.ContextCount() >= size_t(FServer.FMaxConnections)) {
                // Over the limit: the connection is closed unserved.
                connection.reset();
                prepared->Dispose();
                continue;
            }
            auto context = std::make_unique<TIdServerContext>(std::move(connection), FServer);
            // Listed before its thread runs: a deactivation that has
            // stopped this listener then finds every accepted connection
            // in the list and closes it.
            FServer.AddContext(context.get());
            TIdThreadWithTask* thread = prepared;
            prepared = nullptr;
            thread->Start(std::move(context));
        } catch (...) {
            // Setting up this connection failed: it is dropped without a
            // report and the listener goes on after a pause, since what
            // failed (a thread, memory) is most likely still missing.
            if (prepared) prepared->Dispose();
            Pause();
        }
    }
    FBinding.CloseSocket();
    FFinished.Set();
    FServer.ListenerEnded();
}

// ---- server ----

TIdTCPServer::TIdTCPServer(TComponent* owner) : TIdTCPServer(owner, AcquireStack()) {}

TIdTCPServer::TIdTCPServer(TComponent* owner, std::shared_ptr<TIdStack> stack)
    : TComponent(owner), FStack(std::move(stack)), FBindings(FStack) {
    PublishInteger(
        "DefaultPort", [this] { return int64_t(FDefaultPort); },
        [this](int64_t v) { SetDefaultPort(uint16_t(v)); });
    PublishInteger(
        "ListenQueue", [this] { return int64_t(FListenQueue); },
        [this](int64_t v) { FListenQueue = int(v); });
    PublishInteger(
        "MaxConnections", [this] { return int64_t(FMaxConnections); },
        [this](int64_t v) { FMaxConnections = int(v); });
    PublishBoolean(
        "Active", [this] { return Active(); }, [this](bool v) { SetActive(v); });
}

TIdTCPServer::~TIdTCPServer() {
    try {
        Deactivate();
    } catch (...) {
        // Destruction goes on whatever the deactivation met.
    }
}

void TIdTCPServer::SetDefaultPort(uint16_t port) {
    FDefaultPort = port;
    FBindings.SetDefaultPort(port);
}

void TIdTCPServer::Loaded() {
    TComponent::Loaded();
    if (FStreamedActive) {
        FStreamedActive = false;
        SetActive(true);
    }
}

void TIdTCPServer::SetActive(bool value) {
    if (IsLoading()) {
        // The stored description is still being applied; activate once all
        // properties are in place.
        FStreamedActive = value;
        return;
    }
    if (value == Active()) return;
    if (value)
        Activate();
    else
        Deactivate();
}

bool TIdTCPServer::UseReuseAddress() {
    return FReuseSocket == TIdReuseSocket::rsTrue ||
           (FReuseSocket == TIdReuseSocket::rsOSDependent && FStack->ReuseAddressByDefault());
}

void TIdTCPServer::AddDefaultBindings() {
    TIdSocketHandle& v4 = FBindings.Add();
    v4.IPVersion = TIdIPVersion::Id_IPv4;
    if (FStack->SupportsIPv6()) {
        TIdSocketHandle& v6 = FBindings.Add();
        v6.IPVersion = TIdIPVersion::Id_IPv6;
    }
}

void TIdTCPServer::CloseBindingSockets() {
    for (int i = 0; i < FBindings.Count(); ++i) FBindings[i].CloseSocket();
}

void TIdTCPServer::Activate() {
    if (!OnExecute) throw EIdTCPNoOnExecute(kNoOnExecute);
    if (FBindings.Count() == 0) AddDefaultBindings();
    FIOHandler = std::make_unique<TIdServerIOHandlerStack>(FStack);
    FScheduler = std::make_unique<TIdSchedulerOfThreadDefault>(Name() + "Scheduler");
    FRunningOnExecute = OnExecute;
    try {
        std::lock_guard<std::mutex> lock(FListenersLock);
        for (int i = 0; i < FBindings.Count(); ++i) {
            TIdSocketHandle& b = FBindings[i];
            b.AllocateSocket();
            if (UseReuseAddress()) b.SetReuseAddress();
            b.Bind();
        }
        for (int i = 0; i < FBindings.Count(); ++i) {
            TIdSocketHandle& b = FBindings[i];
            b.Listen(FListenQueue);
            auto listener =
                std::make_unique<TIdListenerThread>(*this, b, Name() + " Listener #" + std::to_string(i + 1));
            FListeners.push_back(std::move(listener));
            FListeners.back()->Start();
        }
    } catch (...) {
        CloseBindingSockets();
        Deactivate();
        throw;
    }
    FActive.store(true);
}

void TIdTCPServer::WaitForListener(TIdListenerThread& listener) {
    if (FQueue && FQueue->IsMainThread())
        // The listener pokes the queue when it ends (ListenerEnded).
        FQueue->WaitServicing([&listener] { return listener.Finished(); });
    listener.Join();
}

void TIdTCPServer::ListenerEnded() {
    if (FQueue) FQueue->Poke();
}

void TIdTCPServer::StopListeners() {
    std::lock_guard<std::mutex> lock(FListenersLock);
    while (!FListeners.empty()) {
        TIdListenerThread& listener = *FListeners.front();
        listener.Stop();
        listener.Binding().CloseSocket();
        WaitForListener(listener);
        FListeners.erase(FListeners.begin());
    }
}

void TIdTCPServer::Deactivate() {
    FActive.store(false);
    StopListeners();
    {
        std::lock_guard<std::mutex> lock(FContextsLock);
        for (TIdServerContext* context : FContexts) context->Connection().IOHandler().Binding().CloseSocket();
    }
    if (FScheduler) {
        // No time limit: every connection's socket is closed now, so each
        // thread's read fails; a thread waiting for the main thread is
        // released by the queue being run here or by its teardown.
        while (FScheduler->TerminateListedThreads() != 0) SleepWhileThreadsRemain(kThreadWaitStep);
        FScheduler.reset();
    }
    CloseBindingSockets();
}

void TIdTCPServer::SleepWhileThreadsRemain(std::chrono::milliseconds period) {
    if (FQueue && FQueue->IsMainThread())
        FQueue->ServiceFor(period);
    else
        std::this_thread::sleep_for(period);
}

void TIdTCPServer::RunConnection(TIdServerContext& context, TIdThreadWithTask& thread) {
    try {
        do {
            FRunningOnExecute(context);
        } while (!thread.Terminated() && context.Connection().Connected());
    } catch (...) {
        // An error ends only this connection, and silently: the client
        // closed or reset it, it was closed after "quit", or the server was
        // deactivated.
    }
    thread.Terminate();
    RemoveContext(&context);
}

void TIdTCPServer::AddContext(TIdServerContext* context) {
    std::lock_guard<std::mutex> lock(FContextsLock);
    FContexts.push_back(context);
}

void TIdTCPServer::RemoveContext(TIdServerContext* context) {
    std::lock_guard<std::mutex> lock(FContextsLock);
    FContexts.erase(std::remove(FContexts.begin(), FContexts.end(), context), FContexts.end());
}

size_t TIdTCPServer::ContextCount() const {
    std::lock_guard<std::mutex> lock(FContextsLock);
    return FContexts.size();
}

int TIdTCPServer::ListenerCount() const {
    std::lock_guard<std::mutex> lock(FListenersLock);
    return int(FListeners.size());
}

}  // namespace qr
