// Without a system code page service the program uses windows-1252, the
// ANSI code page of the Windows installations it is made for.
#include "base/Text.h"

namespace qr {
UString AnsiToUnicode(std::string_view bytes) { return Cp1252ToUnicode(bytes); }
AnsiString UnicodeToAnsi(std::u16string_view text) { return UnicodeToCp1252(text); }
}  // namespace qr
