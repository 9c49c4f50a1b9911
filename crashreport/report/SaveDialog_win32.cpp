// The save-file dialog of an interactive report save.
#include <windows.h>
#include <commdlg.h>

#include <vector>

#include "base/win32/WideText.h"
#include "crashreport/report/SaveDialog.h"

namespace qr {

std::optional<UString> AskReportFileName(void* owner, const UString& name, const UString& title,
                                         const UString& desktopFolder) {
    size_t slash = name.find_last_of(u'\\');
    UString folder = slash == UString::npos ? desktopFolder : name.substr(0, slash);
    UString file = slash == UString::npos ? name : name.substr(slash + 1);

    std::vector<wchar_t> buffer(32768, L'\0');
    std::copy(file.begin(), file.begin() + std::min(file.size(), buffer.size() - 1), buffer.begin());
    static const wchar_t filter[] = L"*.txt\0*.txt\0";
    std::wstring initial(folder.begin(), folder.end());
    std::wstring caption(title.begin(), title.end());

    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = static_cast<HWND>(owner);
    dialog.lpstrFilter = filter;
    dialog.lpstrFile = buffer.data();
    dialog.nMaxFile = DWORD(buffer.size());
    dialog.lpstrInitialDir = initial.empty() ? nullptr : initial.c_str();
    dialog.lpstrTitle = caption.empty() ? nullptr : caption.c_str();
    dialog.lpstrDefExt = L"txt";
    dialog.Flags = OFN_HIDEREADONLY | OFN_NOREADONLYRETURN;
    if (!GetSaveFileNameW(&dialog)) return std::nullopt;
    return win32::FromWide(buffer.data());
}

}  // namespace qr
