#include "crashreport/intercept/AssistantRun_win32.h"

#include "base/win32/WideText.h"
#include "crashreport/ui/AssistantDefinition.h"
#include "crashreport/ui/Assistant_win32.h"
#include "crashreport/intercept/FailureTexts_win32.h"
#include "crashreport/intercept/TempFolder_win32.h"
#include "crashreport/ui/ContactFormHandler_win32.h"
#include "crashreport/ui/ScreenshotFormHandler_win32.h"
#include "crashreport/ui/WindowKit_win32.h"

namespace qr {

namespace {

// A form's stored description: the resource of that name. There is no
// other copy: a program that lacks the resource shows no assistant.
std::optional<std::string> FormDescription(HMODULE module, const UString& resourceName) {
    if (HRSRC found = FindResourceW(module, win32::Wide(resourceName), MAKEINTRESOURCEW(10))) {  // RT_RCDATA
        const DWORD size = SizeofResource(module, found);
        if (const void* data = LockResource(LoadResource(module, found)))
            return std::string(static_cast<const char*>(data), size);
    }
    return std::nullopt;
}

// What the user entered in an earlier run for the same failure.
void FillKept(TNVForm& form, const std::vector<TNVFormData>& kept) {
    for (const TNVFormData& data : kept) {
        if (!SameText(data.Name, Utf8ToUnicode(form.Name()))) continue;
        for (const TNVEditData& edit : data.Edits)
            if (auto* item = dynamic_cast<TNVEdit*>(form.FindItem(UnicodeToUtf8(edit.Name))))
                item->Text = edit.Text;
        for (const TNVCheckBoxData& box : data.CheckBoxes)
            if (auto* item = dynamic_cast<TNVCheckBox*>(form.FindItem(UnicodeToUtf8(box.Name))))
                item->Checked = box.Checked;
    }
}

void Keep(std::vector<TNVFormData>& kept, const TNVFormData& data) {
    for (TNVFormData& old : kept)
        if (SameText(old.Name, data.Name)) {
            old = data;
            return;
        }
    kept.push_back(data);
}

// A topmost crash dialog would stand in front of the assistant.
class TNotTopmost {
public:
    explicit TNotTopmost(HWND window) {
        if (window && IsWindow(window) && (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST)) {
            FWindow = window;
            SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        }
    }
    ~TNotTopmost() {
        if (FWindow && IsWindow(FWindow))
            SetWindowPos(FWindow, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    TNotTopmost(const TNotTopmost&) = delete;
    TNotTopmost& operator=(const TNotTopmost&) = delete;

private:
    HWND FWindow = nullptr;
};

TNVActionHandler ScreenshotForm(TIMEException& failure) {
    TScreenshotAccess access;
    access.Get = [&failure] {
        TNVPicture picture;
        if (failure.Screenshot) {
            picture.Width = failure.Screenshot->Width;
            picture.Height = failure.Screenshot->Height;
            picture.Pixels = failure.Screenshot->Pixels;
        }
        return picture;
    };
    access.Set = [&failure](TNVPicture picture) {
        failure.Screenshot = TScreenshot{picture.Width, picture.Height, std::move(picture.Pixels)};
    };
    access.Attach = [&failure] { return failure.AttachScreenshot; };
    access.SetAttach = [&failure](bool attach) { failure.AttachScreenshot = attach; };
    access.Folder = CrashTempFolder();
    return ScreenshotFormHandler(std::move(access));
}

}  // namespace

TAssistantResult RunAssistant(TIMEException& failure, std::u16string_view name, HWND owner, bool forAction,
                              HMODULE forms) {
    const bool hasScreenshot =
        failure.Flags.CreateScreenshot && failure.Screenshot && !failure.Screenshot->Empty();
    std::optional<TAssistantDefinition> definition = FindAssistant(failure, name, hasScreenshot);
    if (!definition || definition->Forms.empty()) return TAssistantResult::NotShown;
    std::vector<std::unique_ptr<TNVForm>> shown;
    try {
        for (const UString& formName : definition->Forms) {
            std::optional<std::string> description =
                FormDescription(forms ? forms : GetModuleHandleW(nullptr), FormResourceName(formName));
            if (!description) return TAssistantResult::NotShown;
            shown.push_back(ReadAssistantForm(*description));
            FillKept(*shown.back(), failure.AssistantForms);
        }
    } catch (const std::exception&) {
        return TAssistantResult::NotShown;  // a damaged form: as if it were missing
    }

    TNVAssistant assistant(ExpandedFailureText(failure, definition->Title), std::move(shown));
    bool completed = false;
    {
        TNotTopmost inFront(owner);
        completed = assistant.ShowModal(owner, [&failure](const UString& onAction) -> TNVActionHandler {
            if (SameText(onAction, u"ContactFormAction"))
                return ContactFormHandler([&failure](const UString& from) { failure.MailFrom = from; });
            if (SameText(onAction, u"ScrShotFormAction")) return ScreenshotForm(failure);
            return {};
        });
    }
    const std::vector<TNVFormData> data = assistant.Data();
    for (const TNVFormData& form : data)
        if (form.Result == nvmContinue) Keep(failure.AssistantForms, form);
    if (!completed) return TAssistantResult::Cancelled;
    if (forAction) PutAssistantIntoReport(data, failure.Report.Header(), failure.Report.Sections());
    return TAssistantResult::Completed;
}

}  // namespace qr
