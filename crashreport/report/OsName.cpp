#include "crashreport/report/OsName.h"

namespace qr {

namespace {

AnsiString BaseName(const TOsVersion& os) {
    if (os.Platform == TOsPlatform::Win9x) {
        bool letter = !os.Letter9x.empty();
        if (os.Major == 4 && os.Minor == 0)
            return letter && (os.Letter9x[0] == 'B' || os.Letter9x[0] == 'C') ? "Windows 95 OSR-2"
                                                                              : "Windows 95";
        if (os.Major == 4 && os.Minor == 10)
            return letter && os.Letter9x[0] == 'A' ? "Windows 98 SE" : "Windows 98";
        if (os.Major == 4 && os.Minor == 90) return "Windows ME";
        return "Windows 9x New";
    }
    if (os.Platform != TOsPlatform::NT) return "None";
    if (os.Major <= 3) return "Windows NT 3";
    if (os.Major == 4) return "Windows NT 4";
    if (os.Major == 5) {
        if (os.Minor == 0) return "Windows 2000";
        if (os.Minor == 1 || os.Workstation) return "Windows XP";
        return "Windows 2003";
    }
    if (os.Major == 6) {
        if (os.Minor == 0) return os.Workstation ? "Windows Vista" : "Windows 2008";
        if (os.Minor == 1) return os.Workstation ? "Windows 7" : "Windows 2008 R2";
        if (os.Minor == 2) return os.Workstation ? "Windows 8" : "Windows Server 8";
    }
    return "Windows NT New";
}

}  // namespace

AnsiString OperatingSystemName(const TOsVersion& os) {
    AnsiString name = BaseName(os);
    if (os.Platform != TOsPlatform::NT) return name;
    // "Windows 2008 R2" already carries the mark.
    if (os.R2 && !name.ends_with(" R2")) name += " R2";
    if (os.TabletPC) name += " Tablet PC";
    if (os.Starter) name += " Starter";
    if (os.MediaCenter && os.Major < 6) name += " Media Center";
    if (os.X64) name += " x64";
    if (!os.ServicePack.empty()) name += " " + os.ServicePack;
    return name;
}

AnsiString OperatingSystemItem(const TOsVersion& os) {
    return OperatingSystemName(os) + " build " + std::to_string(os.Build);
}

}  // namespace qr
