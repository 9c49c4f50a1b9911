#include "crashreport/intercept/PluginRegistry.h"

namespace qr {

void TPluginRegistry::Register(TReportPlugin plugin) {
    std::lock_guard lock(FLock);
    FPlugins.push_back(std::move(plugin));
}

std::vector<TReportPlugin> TPluginRegistry::Merged(std::vector<TReportPlugin> builtIn) const {
    std::lock_guard lock(FLock);
    for (const TReportPlugin& plugin : FPlugins) {
        bool replaced = false;
        for (TReportPlugin& existing : builtIn)
            if (SameText(existing.Name, plugin.Name)) {
                existing = plugin;
                replaced = true;
            }
        if (!replaced) builtIn.push_back(plugin);
    }
    return builtIn;
}

}  // namespace qr
