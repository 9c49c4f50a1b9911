#pragma once
// Report plug-ins: named routines whose text becomes a section of its own.
#include <functional>
#include <vector>

#include "crashreport/report/ReportSystem.h"

namespace qr {

struct TReportPlugin {
    AnsiString Name, Description;
    std::function<AnsiString()> Content;
    bool OwnSection = true;
};

// "hardware", "processes" and "modules", in the order the program
// registers them.
std::vector<TReportPlugin> BuiltInPlugins(IReportSystem& system);

}  // namespace qr
