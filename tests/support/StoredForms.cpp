#include "tests/support/StoredForms.h"

#include "base/Text.h"

extern const unsigned char kTMECONTACTFORM[];
extern const unsigned kTMECONTACTFORM_size;
extern const unsigned char kTMEDETAILSFORM[];
extern const unsigned kTMEDETAILSFORM_size;
extern const unsigned char kTMESCRSHOTFORM[];
extern const unsigned kTMESCRSHOTFORM_size;

namespace qr {

namespace {

std::string Bytes(const unsigned char* data, unsigned size) {
    return std::string(reinterpret_cast<const char*>(data), size);
}

}  // namespace

std::optional<std::string> StoredFormDescription(std::u16string_view resourceName) {
    if (SameText(resourceName, u"TMECONTACTFORM")) return Bytes(kTMECONTACTFORM, kTMECONTACTFORM_size);
    if (SameText(resourceName, u"TMEDETAILSFORM")) return Bytes(kTMEDETAILSFORM, kTMEDETAILSFORM_size);
    if (SameText(resourceName, u"TMESCRSHOTFORM")) return Bytes(kTMESCRSHOTFORM, kTMESCRSHOTFORM_size);
    return std::nullopt;
}

}  // namespace qr
