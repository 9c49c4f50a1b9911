#pragma once
// The main window: built hidden from its stored description, owner of every
// component and of the mailslot writer, home of the handlers.
#include <windows.h>

#include <memory>

#include "app/ui/Application_win32.h"
#include "app/ui/Controls_win32.h"
#include "app/tray/CoolTrayIcon_win32.h"
#include "base/Font.h"
#include "app/IdAntiFreeze.h"
#include "app/QLSyncClass.h"
#include "app/lang/siLang.h"
#include "base/win32/Handles.h"
#include "link/MailSlotWriter.h"

namespace qr {

class TIdTCPServer;
class TIdContext;
class TMainThreadQueue;

class TMainForm : public TComponent {
public:
    // Builds the window from `description`; FormCreate runs at the end.
    TMainForm(TApplication& application, TMainThreadQueue& queue, std::string_view description);
    ~TMainForm() override;
    const char* ClassName() const override { return "TMainForm"; }

    // Component fields, in declaration order.
    TTntEdit* edAction = nullptr;
    TTntLabel* TntLabel1 = nullptr;
    TTntEdit* edParam1 = nullptr;
    TTntLabel* TntLabel2 = nullptr;
    TTntEdit* edParam2 = nullptr;
    TTntLabel* TntLabel3 = nullptr;
    TTntButton* TntButton1 = nullptr;
    TIdAntiFreeze* IdAntiFreeze1 = nullptr;
    TIdTCPServer* IdTCPServer1 = nullptr;
    TMemo* Memo1 = nullptr;
    TCoolTrayIcon* CoolTrayIcon1 = nullptr;
    TImageList* ImageList1 = nullptr;
    TPopupMenu* PopupMenu1 = nullptr;
    TMenuItem* Beenden1 = nullptr;
    TsiLangDispatcher* siLangDispatcher1 = nullptr;
    TsiLang* siLang1 = nullptr;

    void FormCreate(TComponent* sender);
    void FormDestroy(TComponent* sender);
    void Beenden1Click(TComponent* sender);
    void TntButton1Click(TComponent* sender);
    void SendIpcCommand(const UString& action, const UString& param1, const UString& param2);
    void IdTCPServer1Execute(TIdContext& context);

    HWND Handle() const { return FHandle; }
    // Closing the main window ends the application.
    void Close();
    // The mailslot writer; null before FormCreate and after FormDestroy.
    TMailSlotWriter* Writer() const { return FWriter.get(); }
    // What the window's hand-offs forward to (the memo and the writer);
    // empty before FormCreate and after FormDestroy.
    const TForwardTargets& ForwardTargets() const { return FForwardTargets; }
    TFont& Font() { return FFont; }

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT Dispatch(UINT msg, WPARAM wParam, LPARAM lParam);
    void BindFields();
    void CreateHandle();

    TApplication& FApplication;
    TMainThreadQueue& FQueue;
    std::unique_ptr<TMailSlotWriter> FWriter;
    HWND FHandle = nullptr;
    win32::TFontHandle FFontHandle;
    // What hand-offs write to: the memo and the writer, from FormCreate
    // until FormDestroy.
    TForwardTargets FForwardTargets;
    TMemoUpdate FMemoUpdate{[this](const UString& text) {
        if (Memo1) Memo1->SetText(text);
    }};
    UString FCaption = u"MainForm";
    int FLeft = 0, FTop = 0, FClientWidth = 0, FClientHeight = 0;
    TFont FFont;
};

}  // namespace qr
