#include "app/ui/Controls_win32.h"
#include "app/tray/CoolTrayIcon_win32.h"
#include "app/FormClasses.h"
#include "app/IdAntiFreeze.h"
#include "app/lang/siLang.h"
#include "server/IdTCPServer.h"

namespace qr {

TClassRegistry MainFormClasses() {
    TClassRegistry r;
    r.Register("TTntLabel", [](TComponent* o) { return new TTntLabel(o); });
    r.Register("TTntEdit", [](TComponent* o) { return new TTntEdit(o); });
    r.Register("TTntButton", [](TComponent* o) { return new TTntButton(o); });
    r.Register("TMemo", [](TComponent* o) { return new TMemo(o); });
    r.Register("TIdAntiFreeze", [](TComponent* o) { return new TIdAntiFreeze(o); });
    r.Register("TIdTCPServer", [](TComponent* o) { return new TIdTCPServer(o); });
    r.Register("TCoolTrayIcon", [](TComponent* o) { return new TCoolTrayIcon(o); });
    r.Register("TImageList", [](TComponent* o) { return new TImageList(o); });
    r.Register("TPopupMenu", [](TComponent* o) { return new TPopupMenu(o); });
    r.Register("TMenuItem", [](TComponent* o) { return new TMenuItem(o); });
    RegisterLanguageClasses(r);
    return r;
}

}  // namespace qr
