#include "crashreport/send/Attachments.h"

namespace qr {

void TIMEAttachments::Prepare(const std::function<UString(const UString&)>& absolute,
                              const std::function<bool(const UString&)>& exists) {
    std::vector<TIMEAttachment> kept;
    for (TIMEAttachment& item : FItems) {
        if (!item.Archive.empty()) continue;
        item.File = absolute(item.File);
        if (exists(item.File)) kept.push_back(std::move(item));
    }
    FItems = std::move(kept);
}

}  // namespace qr
