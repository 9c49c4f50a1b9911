#include "app/FormClasses.h"

extern const unsigned char kMainFormDescription[];
extern const unsigned kMainFormDescription_size;

namespace qr {

std::string LoadMainFormDescription() {
    return std::string(reinterpret_cast<const char*>(kMainFormDescription), kMainFormDescription_size);
}

}  // namespace qr
