#pragma once
// The please-wait window: a small topmost tool window with a picture, the
// current area's text and a progress bar over weighted areas. It disables
// its owner while it is shown and always enables it again when it closes.
//
// Threads: Show, Close, ProcessMessages and the destructor belong to the
// thread that shows the window (it owns the window). Areas, title and
// position may be set from any thread; from another thread the change is
// posted to the window.
//
// For tests: the window has the class "prgrAlertWndClass"; its child of
// class "msctls_progress32" holds the bar (range 0 to 1000).
//
// Typical use (sending in the background):
//   TIProgressAlert alert(u"Information", L"MEISEND32");
//   alert.AddArea(u"Preparing attachments...", 100);
//   alert.AddArea(u"Sending bug report...", 900);
//   alert.Show(owner, false);
//   ... alert.SetPosition(500); alert.AreaDone(); ...
//   alert.Close();
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <mutex>

#include "base/Text.h"
#include "base/win32/Handles.h"
#include "crashreport/ui/BoxPictures_win32.h"
#include "crashreport/ui/ProgressAlertLayout.h"
#include "crashreport/ui/ProgressAreas.h"

namespace qr {

class IProgressAlert {
public:
    virtual ~IProgressAlert() = default;
    virtual void SetTitle(const UString& title) = 0;
    virtual void AddArea(const UString& text, int64_t weight) = 0;
    virtual void ClearAreas() = 0;
    // Advances to the next area, position 0.
    virtual void AreaDone() = 0;
    virtual void SetArea(size_t index) = 0;
    // 0 to 1000 within the current area.
    virtual void SetPosition(int position) = 0;
    virtual void ProcessMessages() = 0;
    // Shows the window unless it is visible already; `activate`: centred
    // on the screen and in front, else in the work area's bottom-right
    // corner without taking the activation. True when newly shown.
    virtual bool Show(HWND owner, bool activate) = 0;
    virtual void Close() = 0;
};

class TIProgressAlert final : public IProgressAlert {
public:
    // `picture`: a 32 x 32 picture resource of `pictureModule` (null: the
    // program), e.g. "MEIPLWAIT" or "MEISEND32"; a missing one is not drawn.
    TIProgressAlert(UString title, const wchar_t* picture, HMODULE pictureModule = nullptr);
    ~TIProgressAlert() override;
    TIProgressAlert(const TIProgressAlert&) = delete;
    TIProgressAlert& operator=(const TIProgressAlert&) = delete;

    void SetTitle(const UString& title) override;
    void AddArea(const UString& text, int64_t weight) override;
    void ClearAreas() override;
    void AreaDone() override;
    void SetArea(size_t index) override;
    void SetPosition(int position) override;
    void ProcessMessages() override;
    bool Show(HWND owner, bool activate) override;
    void Close() override;

    HWND Handle() const { return FHandle.load(); }
    bool Visible() const { return FHandle.load() != nullptr; }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // The state changed: shown at once on the window's thread, posted from
    // any other.
    void Changed(bool processMessages);
    // Brings text, title, size and bar in line with the state.
    void Update();
    void Place();
    void EnableOwner();
    void Paint(HWND window);

    mutable std::mutex FLock;  // FTitle, FAreas
    UString FTitle;
    TProgressAreas FAreas;

    UString FPictureName;
    HMODULE FPictureModule;
    win32::TWindowHandle FWindow;  // the showing thread's
    std::atomic<HWND> FHandle{nullptr};
    std::atomic<DWORD> FThread{0};
    HWND FOwner = nullptr;
    HWND FBar = nullptr;  // child: destroyed with the window
    bool FActivate = true;
    win32::TFontHandle FFont;
    TBoxPicture FPicture;
    TProgressAlertLayout FLayout;
    UString FShownText, FShownTitle;
};

}  // namespace qr
