#include "app/MainForm_win32.h"

#include <algorithm>
#include <cmath>

#include "app/FormClasses.h"
#include "app/lang/GermanUI.h"
#include "base/win32/WideText.h"
#include "base/FormReader.h"
#include "link/IpcCommand.h"
#include "server/ConnectionLoop.h"
#include "server/IdTCPServer.h"

namespace qr {

namespace {
const wchar_t* const kFormClass = L"TMainForm";
}

TMainForm::TMainForm(TApplication& application, TMainThreadQueue& queue, std::string_view description)
    : TComponent(nullptr), FApplication(application), FQueue(queue) {
    SetName("MainForm");
    PublishInteger(
        "Left", [this] { return FLeft; }, [this](int64_t v) { FLeft = int(v); });
    PublishInteger(
        "Top", [this] { return FTop; }, [this](int64_t v) { FTop = int(v); });
    PublishInteger(
        "ClientWidth", [this] { return FClientWidth; }, [this](int64_t v) { FClientWidth = int(v); });
    PublishInteger(
        "ClientHeight", [this] { return FClientHeight; }, [this](int64_t v) { FClientHeight = int(v); });
    PublishString(
        "Caption", [this] { return FCaption; },
        [this](const UString& v) {
            FCaption = v;
            if (FHandle) SetWindowTextW(FHandle, win32::Wide(FCaption));
        });
    PublishString(
        "Color", [] { return UString(u"clBtnFace"); },
        [](const UString& v) {
            if (!SameText(v, u"clBtnFace")) throw EPropertyError("Unsupported colour " + UnicodeToUtf8(v));
        });
    TPropInfo font;
    font.Name = "Font";
    font.Kind = TTypeKind::tkClass;
    font.TypeName = "TFont";
    font.Object = [this] { return &FFont; };
    Publish(font);
    PublishString(
        "Font.Name", [this] { return FFont.Name; }, [this](const UString& v) { FFont.Name = v; });
    PublishInteger(
        "Font.Height", [this] { return FFont.Height; }, [this](int64_t v) { FFont.Height = int(v); });
    PublishString(
        "Font.Charset", [this] { return CharsetName(FFont.Charset); },
        [this](const UString& v) {
            auto value = CharsetValue(v, false);
            if (!value) throw EPropertyError("Unknown character set " + UnicodeToUtf8(v));
            FFont.Charset = *value;
        });

    ReadComponents(*this, ParseFormText(description), MainFormClasses());
    BindFields();
    try {
        FormCreate(this);
    } catch (...) {
        FApplication.HandleException(std::current_exception());
    }
    CreateHandle();
}

TMainForm::~TMainForm() {
    Destroying();
    if (FHandle) ShowWindow(FHandle, SW_HIDE);
    try {
        FormDestroy(this);
    } catch (...) {
        FApplication.HandleException(std::current_exception());
    }
    // Native windows first, then the visual controls, then the rest, each
    // group last-created first.
    TWinControl* controls[] = {Memo1,    TntButton1, edParam2,  edParam1,
                               edAction, TntLabel3,  TntLabel2, TntLabel1};
    for (TWinControl* c : controls)
        if (c) c->DestroyHandle();
    if (FHandle) DestroyWindow(FHandle);
    FHandle = nullptr;
    for (TWinControl* c : controls) delete c;
    Memo1 = nullptr;
    TntButton1 = nullptr;
    edParam2 = edParam1 = edAction = nullptr;
    TntLabel3 = TntLabel2 = TntLabel1 = nullptr;
    DestroyComponents();
}

void TMainForm::BindFields() {
    auto find = [this](const char* name) { return FindComponent(name); };
    edAction = dynamic_cast<TTntEdit*>(find("edAction"));
    TntLabel1 = dynamic_cast<TTntLabel*>(find("TntLabel1"));
    edParam1 = dynamic_cast<TTntEdit*>(find("edParam1"));
    TntLabel2 = dynamic_cast<TTntLabel*>(find("TntLabel2"));
    edParam2 = dynamic_cast<TTntEdit*>(find("edParam2"));
    TntLabel3 = dynamic_cast<TTntLabel*>(find("TntLabel3"));
    TntButton1 = dynamic_cast<TTntButton*>(find("TntButton1"));
    IdAntiFreeze1 = dynamic_cast<TIdAntiFreeze*>(find("IdAntiFreeze1"));
    IdTCPServer1 = dynamic_cast<TIdTCPServer*>(find("IdTCPServer1"));
    Memo1 = dynamic_cast<TMemo*>(find("Memo1"));
    CoolTrayIcon1 = dynamic_cast<TCoolTrayIcon*>(find("CoolTrayIcon1"));
    ImageList1 = dynamic_cast<TImageList*>(find("ImageList1"));
    PopupMenu1 = dynamic_cast<TPopupMenu*>(find("PopupMenu1"));
    Beenden1 = dynamic_cast<TMenuItem*>(find("Beenden1"));
    siLangDispatcher1 = dynamic_cast<TsiLangDispatcher*>(find("siLangDispatcher1"));
    siLang1 = dynamic_cast<TsiLang*>(find("siLang1"));
    if (TntButton1) TntButton1->OnClick = [this](TComponent* s) { TntButton1Click(s); };
    if (Beenden1) Beenden1->OnClick = [this](TComponent* s) { Beenden1Click(s); };
    if (IdTCPServer1) {
        IdTCPServer1->OnExecute = [this](TIdContext& c) { IdTCPServer1Execute(c); };
        // Deactivation keeps running hand-offs while it waits for listeners.
        IdTCPServer1->SetMainThreadQueue(&FQueue);
    }
}

void TMainForm::FormCreate(TComponent*) {
    FWriter = std::make_unique<TMailSlotWriter>(u"Quellora\\Messages");
    FForwardTargets.Memo = &FMemoUpdate;
    FForwardTargets.Writer = FWriter.get();
    // The memo follows once the run's connection threads are released.
    FQueue.SetAfterRun([this] { FMemoUpdate.Show(); });
    IdTCPServer1->SetActive(true);
    // Stored in German; everyone else gets English.
    if (!IsGermanUI()) siLangDispatcher1->SetActiveLanguage(2);
}

void TMainForm::FormDestroy(TComponent*) {
    // From here on no hand-off runs: the writer and the memo are going.
    FQueue.BeginShutdown();
    FQueue.SetAfterRun(nullptr);
    FForwardTargets = {};
    std::unique_ptr<TMailSlotWriter> writer = std::move(FWriter);
    writer.reset();
}

void TMainForm::Beenden1Click(TComponent*) { Close(); }

void TMainForm::Close() {
    // No close query: closing the main window always ends the application.
    PostQuitMessage(0);
}

void TMainForm::TntButton1Click(TComponent*) {
    UString param2 = edParam2->GetText();
    UString param1 = edParam1->GetText();
    UString action = edAction->GetText();
    SendIpcCommand(action, param1, param2);
}

void TMainForm::SendIpcCommand(const UString& action, const UString& param1, const UString& param2) {
    AnsiString bytes = BuildIpcCommand(action, param1, param2);
    if (FWriter) FWriter->WriteString(bytes);
}

void TMainForm::IdTCPServer1Execute(TIdContext& context) {
    RunConnectionLoop(context.Connection(), [this](std::span<const UString> texts) {
        TQLSyncClass::HandOff(FQueue, FForwardTargets, texts);
    });
}

void TMainForm::CreateHandle() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW wc{};
    wc.lpfnWndProc = &TMainForm::WindowProc;
    wc.hInstance = instance;
    wc.lpszClassName = kFormClass;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.hIcon = LoadIconW(instance, L"MAINICON");
    RegisterClassW(&wc);

    HDC screen = GetDC(nullptr);
    double scale = GetDeviceCaps(screen, LOGPIXELSY) / 96.0;
    ReleaseDC(nullptr, screen);
    auto px = [scale](int v) { return int(std::lround(v * scale)); };

    RECT r{0, 0, px(FClientWidth), px(FClientHeight)};
    const DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    AdjustWindowRectEx(&r, style, FALSE, WS_EX_CONTROLPARENT);
    FHandle = CreateWindowExW(WS_EX_CONTROLPARENT, kFormClass, win32::Wide(FCaption), style, px(FLeft),
                              px(FTop), r.right - r.left, r.bottom - r.top, nullptr, nullptr, instance, this);
    FFontHandle.Reset(CreateFontW(px(FFont.Height), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                                  DWORD(FFont.Charset), OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                  DEFAULT_QUALITY, DEFAULT_PITCH, win32::Wide(FFont.Name)));
    SendMessageW(FHandle, WM_SETFONT, reinterpret_cast<WPARAM>(FFontHandle.Get()), FALSE);
    // Child windows are created in tab order: labels (no focus) first, then
    // the focusable controls by TabOrder.
    TWinControl* order[] = {TntLabel1, TntLabel2, TntLabel3, edAction, edParam1, edParam2, TntButton1, Memo1};
    std::vector<TWinControl*> focusable;
    for (TWinControl* c : order) {
        if (!c) continue;
        if (c->TabOrder < 0)
            c->CreateHandle(FHandle, scale, FFontHandle.Get());
        else
            focusable.push_back(c);
    }
    std::stable_sort(focusable.begin(), focusable.end(),
                     [](TWinControl* a, TWinControl* b) { return a->TabOrder < b->TabOrder; });
    for (TWinControl* c : focusable) c->CreateHandle(FHandle, scale, FFontHandle.Get());
    FApplication.MainWindow = FHandle;
    // The tray icon takes over the window's procedure once the window exists.
    if (CoolTrayIcon1) CoolTrayIcon1->AttachOwnerWindow(FHandle);
}

LRESULT CALLBACK TMainForm::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    // The window carries its form from creation on; messages before that
    // (and after the form let go of it) get the default answer.
    if (msg == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* form = reinterpret_cast<TMainForm*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!form || form->FHandle != hwnd) return DefWindowProcW(hwnd, msg, wParam, lParam);
    try {
        return form->Dispatch(msg, wParam, lParam);
    } catch (...) {
        form->FApplication.HandleException(std::current_exception());
        return 0;
    }
}

LRESULT TMainForm::Dispatch(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED && TntButton1 &&
                reinterpret_cast<HWND>(lParam) == TntButton1->Handle()) {
                TntButton1->Click();
                return 0;
            }
            break;
        case WM_CLOSE:
            Close();
            return 0;
    }
    return DefWindowProcW(FHandle, msg, wParam, lParam);
}

}  // namespace qr
