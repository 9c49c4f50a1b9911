// Random bytes as a program's name and line map and as a module image: the
// crash reporter reads both from memory that may be damaged, so neither may
// crash, hang or read outside the bytes; a map that loads answers every
// look-up within its own names.
#include <cstdlib>
#include <cstring>

#include "crashreport/stack/NameMap.h"
#include "crashreport/stack/PeImage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    // First byte: 0 the unpacked map, 1 the stored form, else an image.
    const unsigned char* bytes = data + 1;
    const size_t length = size - 1;
    if (data[0] <= 1) {
        try {
            qr::TNameMap map =
                data[0] == 0 ? qr::TNameMap::FromRaw(bytes, length) : qr::TNameMap::FromStored(bytes, length);
            for (uint32_t rva : {0u, 0x1000u, 0x1008u, 0x7fffffffu, 0xffffffffu}) {
                auto name = map.Find(rva);
                if (name && name->FunctionStart > rva) std::abort();
            }
        } catch (const qr::ENameMapError&) {
        }
        return 0;
    }
    qr::TPeImage image(bytes, length);
    for (const qr::TImageSection& s : image.Sections())
        if (uint64_t(s.Address) + s.Size > length) std::abort();
    if (auto s = image.Section(".qrmap")) {
        try {
            qr::TNameMap::FromStored(bytes + s->Address, s->Size);
        } catch (const qr::ENameMapError&) {
        }
    }
    for (const auto& e : image.Exports())
        if (e.second.size() > 512) std::abort();
    return 0;
}
