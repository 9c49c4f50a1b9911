#include <windows.h>

#include <algorithm>

#include "crashreport/stack/OwnMemory_win32.h"

namespace qr {

namespace {

// Section headers lie in the first page of every image the loader maps.
constexpr size_t kHeaderBytes = 4096;

}  // namespace

bool ReadOwnMemory(uint64_t address, void* out, size_t size) {
    if (size == 0) return true;
    SIZE_T read = 0;
    // The current process's pseudo handle: nothing to close.
    return ReadProcessMemory(GetCurrentProcess(), reinterpret_cast<const void*>(uintptr_t(address)), out,
                             size, &read) &&
           read == size;
}

std::optional<TStackCopy> CopyStack(uint64_t stackPointer) {
    MEMORY_BASIC_INFORMATION info{};
    if (!stackPointer ||
        VirtualQuery(reinterpret_cast<const void*>(uintptr_t(stackPointer)), &info, sizeof info) !=
            sizeof info ||
        info.State != MEM_COMMIT || (info.Protect & (PAGE_GUARD | PAGE_NOACCESS)))
        return std::nullopt;
    TStackCopy copy;
    copy.Low = stackPointer;
    const uint64_t end = uint64_t(uintptr_t(info.BaseAddress)) + info.RegionSize;
    copy.Bytes.resize(size_t(end - stackPointer));
    // The region may have been released since the query: the read says so.
    if (!ReadOwnMemory(stackPointer, copy.Bytes.data(), copy.Bytes.size())) return std::nullopt;
    return copy;
}

std::vector<TImageSection> ModuleSections(uint64_t base, size_t imageSize) {
    std::vector<unsigned char> headers(std::min(kHeaderBytes, imageSize));
    if (!ReadOwnMemory(base, headers.data(), headers.size())) return {};
    return TPeImage(headers.data(), headers.size(), imageSize).Sections();
}

}  // namespace qr
