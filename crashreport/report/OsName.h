#pragma once
// The operating system's name in the report header.
#include <cstdint>
#include <string>

#include "base/Text.h"

namespace qr {

enum class TOsPlatform { None, Win9x, NT };

struct TOsVersion {
    TOsPlatform Platform = TOsPlatform::NT;
    unsigned Major = 0, Minor = 0, Build = 0;
    bool Workstation = true;
    // The 9x family's service letter ("B", "C": Windows 95 OSR-2; "A": 98 SE).
    AnsiString Letter9x;
    AnsiString ServicePack;  // e.g. "Service Pack 2"; empty when none
    bool R2 = false, TabletPC = false, Starter = false, MediaCenter = false, X64 = false;
};

// The name alone: "Windows 7", "Windows 2003 R2 x64 Service Pack 2", ...
AnsiString OperatingSystemName(const TOsVersion& os);
// The header value: the name, " build " and the build number.
AnsiString OperatingSystemItem(const TOsVersion& os);

}  // namespace qr
