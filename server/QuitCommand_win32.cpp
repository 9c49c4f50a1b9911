#include <windows.h>

#include "base/win32/WideText.h"
#include "server/QuitCommand.h"

namespace qr {

bool IsQuitCommand(const UString& text) {
    static const wchar_t kQuit[] = L"quit";
    return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, win32::Wide(text), int(text.size()), kQuit,
                          4) == CSTR_EQUAL;
}

}  // namespace qr
