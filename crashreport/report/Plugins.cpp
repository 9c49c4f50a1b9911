#include "crashreport/report/Plugins.h"

namespace qr {

std::vector<TReportPlugin> BuiltInPlugins(IReportSystem& system) {
    return {
        {"hardware", "list of installed hardware", [&system] { return FormatHardware(system.Hardware()); },
         true},
        {"processes", "list of running processes", [&system] { return FormatProcesses(system.Processes()); },
         true},
        {"modules", "list of loaded modules", [&system] { return FormatModules(system.Modules()); }, true},
    };
}

}  // namespace qr
