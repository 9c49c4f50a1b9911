#include "base/Stream.h"

#include <string>

namespace qr {

int64_t TStream::GetSize() {
    int64_t pos = Seek(int64_t(0), TSeekOrigin::soCurrent);
    int64_t size = Seek(int64_t(0), TSeekOrigin::soEnd);
    Seek(pos, TSeekOrigin::soBeginning);
    return size;
}

void TStream::SetSize(int32_t) {}
void TStream::SetSize(int64_t) {}

int32_t TStream::Seek(int32_t offset, TSeekOrigin origin) { return int32_t(Seek(int64_t(offset), origin)); }

int64_t TStream::Seek(int64_t, TSeekOrigin) {
    throw EStreamError(std::string(ClassName()) + ".Seek not implemented");
}

}  // namespace qr
