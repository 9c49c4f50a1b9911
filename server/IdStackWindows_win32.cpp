// TIdStackWindows: the socket stack over Winsock 2.2. "WS2_32.DLL" is loaded
// at run time and every Winsock function is looked up by name on its first
// call, so the program starts (and can report the failure) on a system
// without it. The library stays loaded until the process ends.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <atomic>
#include <cstring>
#include <mutex>

#include "base/Text.h"
#include "base/win32/Handles.h"
#include "base/win32/WideText.h"
#include "server/IdStack.h"

namespace qr {

namespace {

const wchar_t kLibraryName[] = L"WS2_32.DLL";

enum TWinsockFunction {
    fnWSAStartup,
    fnWSACleanup,
    fnWSAGetLastError,
    fnWSAEnumProtocolsW,
    fnSocket,
    fnSetSockOpt,
    fnBind,
    fnListen,
    fnSelect,
    fnAccept,
    fnRecv,
    fnShutdown,
    fnCloseSocket,
    fnCount
};

const char* const kFunctionNames[fnCount] = {"WSAStartup",
                                             "WSACleanup",
                                             "WSAGetLastError",
                                             "WSAEnumProtocolsW",
                                             "socket",
                                             "setsockopt",
                                             "bind",
                                             "listen",
                                             "select",
                                             "accept",
                                             "recv",
                                             "shutdown",
                                             "closesocket"};

// The system's text for an error code, without the trailing line break.
std::string SystemErrorText(DWORD code) {
    wchar_t* buffer = nullptr;
    DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    UString text;
    if (n && buffer) text = win32::FromWide(buffer, n);
    if (buffer) LocalFree(buffer);
    while (!text.empty() && (text.back() == u'\r' || text.back() == u'\n' || text.back() == u' '))
        text.pop_back();
    return UnicodeToUtf8(text);
}

[[noreturn]] void RaiseStartFailure(DWORD code) {
    std::string message = "Error on loading Winsock2 library (WS2_32.DLL)";
    if (code != 0) message += ": " + SystemErrorText(code);
    throw EIdStackInitializationFailed(message);
}

// The loaded Winsock library: one per process, started by the first stack
// and cleaned up and unloaded when the process ends.
class TWinsockLibrary {
public:
    static TWinsockLibrary& Instance() {
        static TWinsockLibrary library;
        return library;
    }

    void Start() {
        std::lock_guard<std::mutex> lock(FLock);
        if (FStarted) return;
        // No "file not found" box while the library is looked for.
        UINT oldMode = SetErrorMode(SEM_NOOPENFILEERRORBOX);
        win32::TModule module(LoadLibraryW(kLibraryName));
        DWORD loadError = module ? 0 : GetLastError();
        SetErrorMode(oldMode);
        if (!module) RaiseStartFailure(loadError);
        FModule.store(module.Get());
        WSADATA data;
        int rc = Call<int(WSAAPI*)(WORD, LPWSADATA)>(fnWSAStartup)(0x0202, &data);
        if (rc != 0) {
            FModule.store(nullptr);
            for (auto& slot : FProcs) slot.store(nullptr);
            RaiseStartFailure(DWORD(rc));
        }
        FLibrary = std::move(module);
        FStarted = true;
    }

    // The function, looked up on its first call.
    template <class F>
    F Call(TWinsockFunction which) {
        void* p = FProcs[which].load(std::memory_order_acquire);
        if (!p) {
            HMODULE module = FModule.load();
            FARPROC proc = module ? GetProcAddress(module, kFunctionNames[which]) : nullptr;
            if (!proc)
                throw EIdWinsockFunctionMissing(std::string("Winsock function ") + kFunctionNames[which] +
                                                " is not available");
            p = reinterpret_cast<void*>(proc);
            FProcs[which].store(p, std::memory_order_release);
        }
        return reinterpret_cast<F>(p);
    }

    int LastError() { return Call<int(WSAAPI*)()>(fnWSAGetLastError)(); }

private:
    TWinsockLibrary() = default;
    ~TWinsockLibrary() {
        if (FStarted) Call<int(WSAAPI*)()>(fnWSACleanup)();
    }

    std::mutex FLock;
    bool FStarted = false;
    win32::TModule FLibrary;  // owns what FModule lends to lock-free lookups
    std::atomic<HMODULE> FModule{nullptr};
    std::atomic<void*> FProcs[fnCount] = {};
};

TWinsockLibrary& Ws() { return TWinsockLibrary::Instance(); }

[[noreturn]] void RaiseLastError() { throw EIdSocketError(Ws().LastError()); }

SOCKET S(TIdStackSocketHandle s) { return SOCKET(s); }

uint16_t NetworkOrder(uint16_t v) { return uint16_t((v >> 8) | (v << 8)); }

class TIdStackWindows final : public TIdStack {
public:
    TIdStackWindows() { Ws().Start(); }

    TIdStackSocketHandle NewSocketHandle(TIdIPVersion version) override {
        int family = version == TIdIPVersion::Id_IPv6 ? AF_INET6 : AF_INET;
        SOCKET s = Ws().Call<SOCKET(WSAAPI*)(int, int, int)>(fnSocket)(family, SOCK_STREAM, 0);
        if (s == INVALID_SOCKET) RaiseLastError();
        return TIdStackSocketHandle(s);
    }

    void SetReuseAddress(TIdStackSocketHandle s) override {
        BOOL one = TRUE;
        auto fn = Ws().Call<int(WSAAPI*)(SOCKET, int, int, const char*, int)>(fnSetSockOpt);
        if (fn(S(s), SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&one), sizeof one) != 0)
            RaiseLastError();
    }

    // On Windows SO_REUSEADDR would let a second program take the port over.
    bool ReuseAddressByDefault() const override { return false; }
    bool CloseWakesWaiters() const override { return true; }

    bool Bind(TIdStackSocketHandle s, TIdIPVersion version, uint16_t port) override {
        auto fn = Ws().Call<int(WSAAPI*)(SOCKET, const sockaddr*, int)>(fnBind);
        if (version == TIdIPVersion::Id_IPv6) {
            sockaddr_in6 a;
            std::memset(&a, 0, sizeof a);
            a.sin6_family = AF_INET6;
            a.sin6_port = NetworkOrder(port);
            static_assert(sizeof a == 28);
            return fn(S(s), reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
        }
        sockaddr_in a;
        std::memset(&a, 0, sizeof a);
        a.sin_family = AF_INET;
        a.sin_port = NetworkOrder(port);
        static_assert(sizeof a == 16);
        return fn(S(s), reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
    }

    void Listen(TIdStackSocketHandle s, int backlog) override {
        if (Ws().Call<int(WSAAPI*)(SOCKET, int)>(fnListen)(S(s), backlog) != 0) RaiseLastError();
    }

    bool Readable(TIdStackSocketHandle s, int timeoutMs) override {
        fd_set set;
        set.fd_count = 1;
        set.fd_array[0] = S(s);
        timeval tv;
        tv.tv_sec = timeoutMs / 1000;
        tv.tv_usec = (timeoutMs % 1000) * 1000;
        auto fn = Ws().Call<int(WSAAPI*)(int, fd_set*, fd_set*, fd_set*, const timeval*)>(fnSelect);
        int n = fn(0, &set, nullptr, nullptr, timeoutMs < 0 ? nullptr : &tv);
        if (n == SOCKET_ERROR) RaiseLastError();
        return n > 0;
    }

    TIdAcceptResult Accept(TIdStackSocketHandle s, TIdIPVersion) override {
        sockaddr_storage a;
        std::memset(&a, 0, sizeof a);
        int len = sizeof a;
        auto fn = Ws().Call<SOCKET(WSAAPI*)(SOCKET, sockaddr*, int*)>(fnAccept);
        SOCKET c = fn(S(s), reinterpret_cast<sockaddr*>(&a), &len);
        TIdAcceptResult r;
        if (c == INVALID_SOCKET) return r;
        r.Handle = TIdStackSocketHandle(c);
        if (a.ss_family == AF_INET6) {
            auto* a6 = reinterpret_cast<sockaddr_in6*>(&a);
            uint8_t bytes[16];
            std::memcpy(bytes, &a6->sin6_addr, 16);
            r.PeerIP = FormatIPv6(bytes);
            r.PeerPort = NetworkOrder(a6->sin6_port);
        } else {
            auto* a4 = reinterpret_cast<sockaddr_in*>(&a);
            uint8_t bytes[4];
            std::memcpy(bytes, &a4->sin_addr, 4);
            r.PeerIP = FormatIPv4(bytes);
            r.PeerPort = NetworkOrder(a4->sin_port);
        }
        return r;
    }

    int Receive(TIdStackSocketHandle s, void* buffer, int length) override {
        int n = Ws().Call<int(WSAAPI*)(SOCKET, char*, int, int)>(fnRecv)(S(s), static_cast<char*>(buffer),
                                                                         length, 0);
        if (n == SOCKET_ERROR) RaiseLastError();
        return n;
    }

    void Shutdown(TIdStackSocketHandle s, TIdShutdown how) override {
        int h = how == TIdShutdown::Send ? SD_SEND : how == TIdShutdown::Receive ? SD_RECEIVE : SD_BOTH;
        Ws().Call<int(WSAAPI*)(SOCKET, int)>(fnShutdown)(S(s), h);
    }

    void CloseSocket(TIdStackSocketHandle s) override {
        Ws().Call<int(WSAAPI*)(SOCKET)>(fnCloseSocket)(S(s));
    }

    // IPv6 is there when an installed transport protocol has AF_INET6.
    bool SupportsIPv6() override {
        auto fn = Ws().Call<int(WSAAPI*)(LPINT, LPWSAPROTOCOL_INFOW, LPDWORD)>(fnWSAEnumProtocolsW);
        DWORD size = 0;
        fn(nullptr, nullptr, &size);
        if (size == 0) return false;
        std::unique_ptr<char[]> buffer(new char[size]);
        auto* infos = reinterpret_cast<WSAPROTOCOL_INFOW*>(buffer.get());
        int count = fn(nullptr, infos, &size);
        if (count == SOCKET_ERROR) return false;
        for (int i = 0; i < count; ++i)
            if (infos[i].iAddressFamily == 23) return true;
        return false;
    }
};

}  // namespace

std::shared_ptr<TIdStack> CreatePlatformStack() { return std::make_shared<TIdStackWindows>(); }

}  // namespace qr
