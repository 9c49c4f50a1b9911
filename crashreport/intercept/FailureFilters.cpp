#include "crashreport/intercept/FailureFilters.h"

#include "crashreport/settings/Settings.h"

namespace qr {

namespace {

bool ListNamesChain(const UString& list, const std::vector<std::string>& classChain) {
    std::string names = UnicodeToUtf8(list);
    size_t start = 0;
    for (;;) {
        size_t comma = names.find(',', start);
        std::string name(TrimBlanks(
            std::string_view(names).substr(start, comma == std::string::npos ? comma : comma - start)));
        if (!name.empty() && ChainHas(classChain, name)) return true;
        if (comma == std::string::npos) return false;
        start = comma + 1;
    }
}

TFailureFlags FlagsOf(const TIMESettings& settings, const std::string& prefix) {
    TFailureFlags flags;
    flags.CreateBugReport = !settings.GetBoolean(prefix + "NoBugRep");
    flags.CreateScreenshot =
        !settings.GetBoolean(prefix + "NoScrShot") && settings.GetInteger("ScrShotDepth") > 0;
    flags.PauseThreads = !settings.GetBoolean(prefix + "NoSuspend") && settings.GetBoolean("PauseThreads");
    flags.CallHandlers = !settings.GetBoolean(prefix + "NoHandlers");
    flags.ShowSetting = settings.GetEnum(prefix + "ShowCfg");
    flags.Assistant = settings.GetText(prefix + "Assis");
    return flags;
}

}  // namespace

bool ChainHas(const std::vector<std::string>& classChain, std::string_view name) {
    for (const std::string& c : classChain)
        if (c == name) return true;
    return false;
}

TFailureFlags ApplyFailureFilters(const TIMESettings& settings, const std::vector<std::string>& classChain) {
    for (const char* filter : {"F1", "F2"}) {
        if (ListNamesChain(settings.GetText(std::string(filter) + "Classes"), classChain))
            return FlagsOf(settings, filter);
    }
    return FlagsOf(settings, "Gn");
}

}  // namespace qr
