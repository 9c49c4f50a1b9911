#include "crashreport/intercept/SendSeams_win32.h"

#include <optional>

#include "base/win32/WideText.h"
#include "crashreport/ui/ProgressAlert_win32.h"

namespace qr {
namespace {

// The please-wait window, made when the routine shows it: its picture is
// only known then. Shown and closed on the thread that sends.
class TAlertSendProgress : public ISendProgress {
public:
    explicit TAlertSendProgress(HWND owner) : FOwner(owner) {}
    void Show(const UString& title, const char16_t* picture, const TProgressAreas& areas,
              bool activate) override {
        FAlert.emplace(title, win32::Wide(UString(picture)));
        for (const TProgressArea& area : areas.Areas()) FAlert->AddArea(area.Text, area.Weight);
        FAlert->Show(activate ? FOwner : nullptr, activate);
        // Drawn now: the thread goes on into the mail program's call.
        FAlert->ProcessMessages();
    }
    void Close() override {
        if (FAlert) FAlert->Close();
        FAlert.reset();
    }

private:
    HWND FOwner;
    std::optional<TIProgressAlert> FAlert;
};

}  // namespace

TAssistantResult RunSendAssistant(TIMEException& failure, HWND owner) {
    return RunAssistant(failure, failure.GetText("SendAssis"), owner);
}

std::unique_ptr<ISendProgress> CreateSendProgress(TIMEException&, HWND owner) {
    return std::make_unique<TAlertSendProgress>(owner);
}

}  // namespace qr
