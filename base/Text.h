#pragma once
// The two kinds of text of the program: 8-bit strings in the system ANSI
// code page (everything sent to the presentation program) and UTF-16 text
// (everything shown to the user).
#include <string>
#include <string_view>

namespace qr {

using AnsiString = std::string;  // bytes in the system ANSI code page
using UString = std::u16string;  // UTF-16 text

// System ANSI code page conversions (no flags): characters the code page
// lacks become its replacement character. On Windows these are
// MultiByteToWideChar / WideCharToMultiByte with CP_ACP; elsewhere the
// built-in windows-1252 table below, so portable code behaves the same.
UString AnsiToUnicode(std::string_view bytes);
AnsiString UnicodeToAnsi(std::u16string_view text);

// The windows-1252 table itself, used by the POSIX conversions and by tests.
UString Cp1252ToUnicode(std::string_view bytes);
AnsiString UnicodeToCp1252(std::u16string_view text);

// UTF-8 <-> UTF-16 for messages, file names and tests (not the ANSI path).
UString Utf8ToUnicode(std::string_view utf8);
std::string UnicodeToUtf8(std::u16string_view text);

// Case-insensitive comparison of ASCII letters; other characters compare
// exactly. Used for names (components, properties, sections, keys).
bool SameText(std::u16string_view a, std::u16string_view b);
bool SameText(std::string_view a, std::string_view b);

// Without the blanks (spaces, nothing else) at either end.
inline std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

}  // namespace qr
