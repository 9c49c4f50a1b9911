#pragma once
// The files a sent report carries (TIMEAttachments): each with the name it
// is sent as, the field name the upload modes would use and an archive
// name (empty: sent unchanged).
#include <functional>
#include <vector>

#include "base/Text.h"

namespace qr {

struct TIMEAttachment {
    UString File;  // path of the file
    UString SendAs;
    UString Field;
    UString Archive;  // empty: not packed
};

class IMEAttachments {
public:
    virtual ~IMEAttachments() = default;
    virtual void Add(TIMEAttachment attachment) = 0;
    virtual const std::vector<TIMEAttachment>& Items() const = 0;
};

class TIMEAttachments : public IMEAttachments {
public:
    void Add(TIMEAttachment attachment) override { FItems.push_back(std::move(attachment)); }
    const std::vector<TIMEAttachment>& Items() const override { return FItems; }

    // Paths made absolute, files that do not exist left out. Packing files
    // that share an archive name is not needed here (no archive names), so
    // such entries are left out too rather than sent unpacked under a name
    // that promises an archive.
    void Prepare(const std::function<UString(const UString&)>& absolute,
                 const std::function<bool(const UString&)>& exists);

private:
    std::vector<TIMEAttachment> FItems;
};

}  // namespace qr
