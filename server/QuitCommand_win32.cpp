#include <windows.h>

#include "server/QuitCommand.h"

namespace qr {

bool IsQuitCommand(const UString& text) {
    static const wchar_t kQuit[] = L"quit";
    return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, reinterpret_cast<const wchar_t*>(text.data()),
                          int(text.size()), kQuit, 4) == CSTR_EQUAL;
}

}  // namespace qr
