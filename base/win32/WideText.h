#pragma once
// UTF-16 text and the wide-character API: on Windows char16_t and wchar_t
// have the same size and representation, so a UString's buffer can be
// lent to a W function as it is. One place for that cast.
#include <windows.h>

#include <string>
#include <string_view>

#include "base/Text.h"

namespace qr::win32 {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the wide API takes UTF-16");

inline const wchar_t* Wide(const UString& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }
// Not zero-terminated: only for calls that take a length.
inline const wchar_t* Wide(std::u16string_view text) { return reinterpret_cast<const wchar_t*>(text.data()); }
// A writable buffer, e.g. for GetWindowTextW into a string of the right size.
inline wchar_t* WideBuffer(UString& text) { return reinterpret_cast<wchar_t*>(text.data()); }

inline UString FromWide(const wchar_t* text) {
    return text ? UString(reinterpret_cast<const char16_t*>(text)) : UString();
}
inline UString FromWide(const wchar_t* text, size_t length) {
    return UString(reinterpret_cast<const char16_t*>(text), length);
}

}  // namespace qr::win32
