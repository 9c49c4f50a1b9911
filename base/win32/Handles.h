#pragma once
// Owners for Win32 handles: each closes what it holds exactly once, so no
// code path (an early return, an exception) needs a hand-written close
// sequence. Move-only; Get() lends the handle, Release() gives it up.
#include <windows.h>

#include <utility>

namespace qr::win32 {

template <class THandleType, class TTraits>
class TOwned {
public:
    TOwned() = default;
    explicit TOwned(THandleType handle) : FHandle(handle) {}
    ~TOwned() { Reset(); }
    TOwned(TOwned&& other) noexcept : FHandle(other.Release()) {}
    TOwned& operator=(TOwned&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    TOwned(const TOwned&) = delete;
    TOwned& operator=(const TOwned&) = delete;

    THandleType Get() const { return FHandle; }
    explicit operator bool() const { return FHandle != TTraits::Invalid(); }

    THandleType Release() { return std::exchange(FHandle, TTraits::Invalid()); }
    void Reset(THandleType handle = TTraits::Invalid()) {
        THandleType old = std::exchange(FHandle, handle);
        if (old != TTraits::Invalid()) TTraits::Close(old);
    }

private:
    THandleType FHandle = TTraits::Invalid();
};

namespace traits {
template <class H>
struct NullInvalid {
    static H Invalid() { return nullptr; }
};
struct Kernel : NullInvalid<HANDLE> {
    static void Close(HANDLE h) { CloseHandle(h); }
};
// CreateFileW, CreateMailslotW and CreateToolhelp32Snapshot fail with
// INVALID_HANDLE_VALUE instead of null.
struct File {
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { CloseHandle(h); }
};
struct Window : NullInvalid<HWND> {
    static void Close(HWND h) { DestroyWindow(h); }
};
template <class H>
struct Gdi : NullInvalid<H> {
    static void Close(H h) { DeleteObject(h); }
};
struct MemoryDC : NullInvalid<HDC> {
    static void Close(HDC h) { DeleteDC(h); }
};
struct Module : NullInvalid<HMODULE> {
    static void Close(HMODULE h) { FreeLibrary(h); }
};
struct Menu : NullInvalid<HMENU> {
    static void Close(HMENU h) { DestroyMenu(h); }
};
struct Icon : NullInvalid<HICON> {
    static void Close(HICON h) { DestroyIcon(h); }
};
struct RegKey : NullInvalid<HKEY> {
    static void Close(HKEY h) { RegCloseKey(h); }
};
struct MappedView : NullInvalid<void*> {
    static void Close(void* view) { UnmapViewOfFile(view); }
};
struct Global : NullInvalid<HGLOBAL> {
    static void Close(HGLOBAL h) { GlobalFree(h); }
};
}  // namespace traits

using THandle = TOwned<HANDLE, traits::Kernel>;         // events, threads, processes, mutexes, mappings
using TFileHandle = TOwned<HANDLE, traits::File>;       // files, mailslots, snapshots
using TWindowHandle = TOwned<HWND, traits::Window>;     // windows the code created itself
using TBitmap = TOwned<HBITMAP, traits::Gdi<HBITMAP>>;  // GDI objects
using TBrush = TOwned<HBRUSH, traits::Gdi<HBRUSH>>;     //
using TFontHandle = TOwned<HFONT, traits::Gdi<HFONT>>;  //
using TMemoryDC = TOwned<HDC, traits::MemoryDC>;        // CreateCompatibleDC
using TModule = TOwned<HMODULE, traits::Module>;        // LoadLibrary
using TMenuHandle = TOwned<HMENU, traits::Menu>;        // CreatePopupMenu
using TIconHandle = TOwned<HICON, traits::Icon>;        // CreateIconIndirect, CopyIcon
using TRegKey = TOwned<HKEY, traits::RegKey>;           // RegOpenKeyEx, RegCreateKeyEx
using TMappedView = TOwned<void*, traits::MappedView>;  // MapViewOfFile
using TGlobalMemory = TOwned<HGLOBAL, traits::Global>;  // GlobalAlloc (Release() once the clipboard owns it)

// A window's device context from GetDC, given back with ReleaseDC.
class TWindowDC {
public:
    explicit TWindowDC(HWND window) : FWindow(window), FDC(GetDC(window)) {}
    ~TWindowDC() {
        if (FDC) ReleaseDC(FWindow, FDC);
    }
    TWindowDC(const TWindowDC&) = delete;
    TWindowDC& operator=(const TWindowDC&) = delete;
    HDC Get() const { return FDC; }
    explicit operator bool() const { return FDC != nullptr; }

private:
    HWND FWindow;
    HDC FDC;
};

// Selects a GDI object into a device context for the owner's lifetime.
class TSelectObject {
public:
    TSelectObject(HDC dc, HGDIOBJ object) : FDC(dc), FOld(SelectObject(dc, object)) {}
    ~TSelectObject() {
        if (FOld) SelectObject(FDC, FOld);
    }
    TSelectObject(const TSelectObject&) = delete;
    TSelectObject& operator=(const TSelectObject&) = delete;

private:
    HDC FDC;
    HGDIOBJ FOld;
};

}  // namespace qr::win32
