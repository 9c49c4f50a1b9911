#include "server/QuitCommand.h"

namespace qr {

bool IsQuitCommand(const UString& text) { return SameText(UnicodeToAnsi(text), std::string_view("quit")); }

}  // namespace qr
