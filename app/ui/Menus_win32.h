#pragma once
// The popup menu and its items. The menu is built natively each time it
// opens; a chosen item's WM_COMMAND reaches the menu's own hidden window,
// which runs the item's click handler.
#include <windows.h>

#include <functional>
#include <memory>
#include <vector>

#include "app/ui/HiddenWindow_win32.h"
#include "base/Component.h"

namespace qr {

class TMenuItem : public TComponent {
public:
    explicit TMenuItem(TComponent* owner);
    ~TMenuItem() override;
    const char* ClassName() const override { return "TMenuItem"; }

    UString Caption;
    bool Default = false;
    bool Enabled = true;
    std::function<void(TComponent*)> OnClick;
    UINT Command() const { return FCommand; }
    int Count() const { return int(FItems.size()); }
    TMenuItem* Items(int index) const { return FItems.at(size_t(index)); }
    void Add(TMenuItem* item);
    void Remove(TMenuItem* item);
    virtual void Click();
    void InsertChild(TComponent* child) override;
    // The item with `command` here or below; null if none.
    TMenuItem* Find(UINT command);
    HMENU BuildNative(bool popup) const;

private:
    UINT FCommand;
    TMenuItem* FParent = nullptr;
    std::vector<TMenuItem*> FItems;
};

class TPopupMenu : public TComponent {
public:
    explicit TPopupMenu(TComponent* owner);
    ~TPopupMenu() override;
    const char* ClassName() const override { return "TPopupMenu"; }

    bool AutoPopup = true;
    TMenuItem& Items() { return FItems; }
    // The component that opened the menu last.
    TComponent* PopupComponent = nullptr;
    void InsertChild(TComponent* child) override;
    // Shows the menu with its top-left corner at (x, y), screen
    // coordinates; returns when the menu has closed.
    virtual void Popup(int x, int y);
    HWND Window() const { return FWindow->Handle(); }

private:
    TMenuItem FItems;
    std::unique_ptr<THiddenWindow> FWindow;
};

}  // namespace qr
