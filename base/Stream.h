#pragma once
// Byte-stream base class. Positioning is unsupported unless a stream
// overrides Seek; SetSize does nothing by default.
#include <cstdint>

#include "base/Exception.h"

namespace qr {

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream {
public:
    virtual ~TStream() = default;
    virtual const char* ClassName() const { return "TStream"; }

    virtual int64_t GetSize();
    virtual void SetSize(int32_t newSize);
    virtual void SetSize(int64_t newSize);
    virtual int32_t Read(void* buffer, int32_t count) = 0;
    virtual int32_t Write(const void* buffer, int32_t count) = 0;
    virtual int32_t Seek(int32_t offset, TSeekOrigin origin);
    virtual int64_t Seek(int64_t offset, TSeekOrigin origin);

    int64_t GetPosition() { return Seek(int64_t(0), TSeekOrigin::soCurrent); }
};

}  // namespace qr
