#include "link/MailSlotPlatform.h"

namespace qr {

std::string MailSlotSocketPath(const UString& mailslotPath, const std::string& runtimeDir) {
    const UString prefix = u"\\\\.\\mailslot\\";
    if (mailslotPath.size() <= prefix.size() || !SameText(mailslotPath.substr(0, prefix.size()), prefix))
        return {};
    std::string rest = UnicodeToUtf8(mailslotPath.substr(prefix.size()));
    for (char& c : rest)
        if (c == '\\') c = '/';
    // No way out of the mailslot folder.
    if (rest.find("..") != std::string::npos || rest.front() == '/') return {};
    return (runtimeDir.empty() ? std::string("/tmp") : runtimeDir) + "/quellora-mailslots/" + rest;
}

}  // namespace qr
