#pragma once
// The plug-ins the program registers beside the built-in three. A
// registered plug-in takes the place of a built-in one of the same name;
// the "Plugins" setting still selects and orders them.
#include <mutex>
#include <vector>

#include "crashreport/report/Plugins.h"

namespace qr {

class TPluginRegistry {
public:
    void Register(TReportPlugin plugin);
    // `builtIn` with the registered ones in place or added behind.
    std::vector<TReportPlugin> Merged(std::vector<TReportPlugin> builtIn) const;

private:
    mutable std::mutex FLock;  // registered on one thread, read by the handling
    std::vector<TReportPlugin> FPlugins;
};

}  // namespace qr
