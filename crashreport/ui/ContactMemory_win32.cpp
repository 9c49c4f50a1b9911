#include "crashreport/ui/ContactMemory_win32.h"

#include <windows.h>

#include "base/win32/Handles.h"
#include "base/win32/WideText.h"

namespace qr {

namespace {

constexpr wchar_t kKey[] = L"Software\\Harnwick\\ContactForm";
constexpr wchar_t kName[] = L"RememberName";
constexpr wchar_t kEmail[] = L"RememberEmail";

std::optional<UString> ReadValue(HKEY key, const wchar_t* name) {
    DWORD type = 0, bytes = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS || type != REG_SZ)
        return std::nullopt;
    UString text(bytes / sizeof(wchar_t) + 1, u'\0');
    bytes = DWORD(text.size() * sizeof(wchar_t));
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &bytes) !=
        ERROR_SUCCESS)
        return std::nullopt;
    text.resize(bytes / sizeof(wchar_t));
    while (!text.empty() && text.back() == u'\0') text.pop_back();
    return text;
}

void WriteValue(HKEY key, const wchar_t* name, const UString& text) {
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   DWORD((text.size() + 1) * sizeof(char16_t)));
}

}  // namespace

std::optional<TRememberedContact> ReadRememberedContact() {
    HKEY raw = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_QUERY_VALUE, &raw) != ERROR_SUCCESS)
        return std::nullopt;
    win32::TRegKey key(raw);
    std::optional<UString> name = ReadValue(key.Get(), kName), email = ReadValue(key.Get(), kEmail);
    if (!name && !email) return std::nullopt;
    return TRememberedContact{name.value_or(UString()), email.value_or(UString())};
}

void StoreRememberedContact(const TRememberedContact& contact) {
    HKEY raw = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &raw, nullptr) !=
        ERROR_SUCCESS)
        return;  // nothing remembered; the contact data still goes into the report
    win32::TRegKey key(raw);
    WriteValue(key.Get(), kName, contact.Name);
    WriteValue(key.Get(), kEmail, contact.Email);
}

void ForgetRememberedContact() {
    HKEY raw = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_SET_VALUE, &raw) != ERROR_SUCCESS) return;
    win32::TRegKey key(raw);
    RegDeleteValueW(key.Get(), kName);
    RegDeleteValueW(key.Get(), kEmail);
}

}  // namespace qr
