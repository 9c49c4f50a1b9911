#include "app/ui/Menus_win32.h"

#include <algorithm>

#include "base/win32/WideText.h"

namespace qr {

namespace {
UINT gNextCommand = 1;
}

TMenuItem::TMenuItem(TComponent* owner) : TComponent(owner), FCommand(gNextCommand++) {
    PublishString(
        "Caption", [this] { return Caption; }, [this](const UString& v) { Caption = v; });
    PublishBoolean(
        "Default", [this] { return Default; }, [this](bool v) { Default = v; });
    PublishBoolean(
        "Enabled", [this] { return Enabled; }, [this](bool v) { Enabled = v; });
}

TMenuItem::~TMenuItem() {
    if (FParent) FParent->Remove(this);
    for (TMenuItem* item : FItems) item->FParent = nullptr;
}

void TMenuItem::Add(TMenuItem* item) {
    if (item->FParent) item->FParent->Remove(item);
    item->FParent = this;
    FItems.push_back(item);
}

void TMenuItem::Remove(TMenuItem* item) {
    FItems.erase(std::remove(FItems.begin(), FItems.end(), item), FItems.end());
    item->FParent = nullptr;
}

void TMenuItem::InsertChild(TComponent* child) {
    auto* item = dynamic_cast<TMenuItem*>(child);
    if (!item) throw EComponentError("A menu holds only menu items");
    Add(item);
}

void TMenuItem::Click() {
    if (Enabled && OnClick) OnClick(this);
}

TMenuItem* TMenuItem::Find(UINT command) {
    if (command == FCommand) return this;
    for (TMenuItem* item : FItems)
        if (TMenuItem* found = item->Find(command)) return found;
    return nullptr;
}

HMENU TMenuItem::BuildNative(bool popup) const {
    HMENU menu = popup ? CreatePopupMenu() : CreateMenu();
    for (TMenuItem* item : FItems) {
        UINT flags = MF_STRING | (item->Enabled ? 0 : MF_GRAYED);
        const wchar_t* text = win32::Wide(item->Caption);
        if (item->Count() > 0)
            AppendMenuW(menu, flags | MF_POPUP, reinterpret_cast<UINT_PTR>(item->BuildNative(true)), text);
        else
            AppendMenuW(menu, flags, item->FCommand, text);
        if (item->Default) SetMenuDefaultItem(menu, item->FCommand, FALSE);
    }
    return menu;
}

TPopupMenu::TPopupMenu(TComponent* owner) : TComponent(owner), FItems(nullptr) {
    PublishBoolean(
        "AutoPopup", [this] { return AutoPopup; }, [this](bool v) { AutoPopup = v; });
    FWindow =
        std::make_unique<THiddenWindow>(L"TPopupList", [this](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
            if (m == WM_COMMAND && HIWORD(w) == 0) {
                if (TMenuItem* item = FItems.Find(LOWORD(w))) {
                    item->Click();
                    return 0;
                }
            }
            return DefWindowProcW(h, m, w, l);
        });
}

TPopupMenu::~TPopupMenu() = default;

void TPopupMenu::InsertChild(TComponent* child) { FItems.InsertChild(child); }

void TPopupMenu::Popup(int x, int y) {
    win32::TMenuHandle menu(FItems.BuildNative(true));
    TrackPopupMenu(menu.Get(), TPM_LEFTALIGN | TPM_RIGHTBUTTON, x, y, 0, FWindow->Handle(), nullptr);
}

}  // namespace qr
