#pragma once
// Reads of this process's own memory that cannot fault, for the stack
// walks: another thread's stack may be released at any moment (the thread
// ends), and a stack pointer may lie outside committed memory. The reads
// go through the system's process-memory read, which fails instead.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "crashreport/stack/PeImage.h"

namespace qr {

// Whether all `size` bytes at `address` were read into `out`.
bool ReadOwnMemory(uint64_t address, void* out, size_t size);

// A copy of a thread's stack from its stack pointer to the end of the
// stack's memory region.
struct TStackCopy {
    uint64_t Low = 0;  // the stack pointer: the address of Bytes[0]
    std::vector<unsigned char> Bytes;
    uint64_t High() const { return Low + Bytes.size(); }
    bool Holds(uint64_t address, uint64_t size) const {
        return address >= Low && address <= High() && size <= High() - address;
    }
};

// Nothing when the stack pointer is not in committed, readable memory or
// the read fails.
std::optional<TStackCopy> CopyStack(uint64_t stackPointer);

// The sections of the loaded module at `base` (an image of `imageSize`
// bytes), from a copy of its headers; empty when they cannot be read.
std::vector<TImageSection> ModuleSections(uint64_t base, size_t imageSize);

}  // namespace qr
