#pragma once
// The command document that the manual send panel writes to the
// presentation program.
#include "base/Text.h"

namespace qr {

// `<?xml version="1.0" encoding="windows-1252"?>` LF
// `<QuelloraIPC><Remote><ACTION Param1="P1" Param2="P2"/></Remote></QuelloraIPC>` LF,
// as 8-bit bytes in the ANSI code page. Raises Exception
// `Illegal character in node name "..."` when the action holds a blank, tab,
// CR or LF; the document is freed either way.
AnsiString BuildIpcCommand(const UString& action, const UString& param1, const UString& param2);

}  // namespace qr
