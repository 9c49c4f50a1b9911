#pragma once
// Takes the process's loader lock and environment lock the way a thread
// that loads a library or reads the environment does, for tests of what
// the crash reporter does while another thread holds one of them.
#include <windows.h>

#include <functional>
#include <thread>

namespace qr::testkit {

class TSystemLocks {
public:
    TSystemLocks() {
        HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
        Bind(FAcquirePeb, ntdll, "RtlAcquirePebLock");
        Bind(FReleasePeb, ntdll, "RtlReleasePebLock");
        Bind(FLockLoader, ntdll, "LdrLockLoaderLock");
        Bind(FUnlockLoader, ntdll, "LdrUnlockLoaderLock");
    }
    bool Available() const { return FAcquirePeb && FReleasePeb && FLockLoader && FUnlockLoader; }

    void AcquireEnvironment() { FAcquirePeb(); }
    void ReleaseEnvironment() { FReleasePeb(); }
    void AcquireLoader() { FLockLoader(0, nullptr, &FCookie); }
    void ReleaseLoader() { FUnlockLoader(0, FCookie); }

private:
    template <class TFunction>
    static void Bind(TFunction& function, HMODULE module, const char* name) {
        function = reinterpret_cast<TFunction>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    }

    void(WINAPI* FAcquirePeb)() = nullptr;
    void(WINAPI* FReleasePeb)() = nullptr;
    LONG(WINAPI* FLockLoader)(ULONG, ULONG*, ULONG_PTR*) = nullptr;
    LONG(WINAPI* FUnlockLoader)(ULONG, ULONG_PTR) = nullptr;
    ULONG_PTR FCookie = 0;
};

// In a thread of its own: once `ready` returns, takes the environment lock
// and, for `loaderFor` above 0, the loader lock, calls `held`, and gives
// them back after `loaderFor` and `environmentFor` milliseconds. Without
// the system's lock functions the process ends with exit code 30.
inline void HoldSystemLocks(std::function<void()> ready, std::function<void()> held, DWORD loaderFor,
                            DWORD environmentFor) {
    std::thread([=] {
        TSystemLocks locks;
        if (!locks.Available()) ExitProcess(30);
        if (ready) ready();
        locks.AcquireEnvironment();
        if (loaderFor) locks.AcquireLoader();
        if (held) held();
        Sleep(loaderFor);
        if (loaderFor) locks.ReleaseLoader();
        Sleep(environmentFor > loaderFor ? environmentFor - loaderFor : 0);
        locks.ReleaseEnvironment();
    }).detach();
}

}  // namespace qr::testkit
