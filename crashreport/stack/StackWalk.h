#pragma once
// The call stack of a thread of this process, innermost first.
#include <cstdint>
#include <vector>

namespace qr {

struct TStackFrame {
    uint64_t Address = 0;
    bool Return = false;  // a return address: its call lies just in front
};

// Walks from a processor context (the system's CONTEXT record, copied as
// bytes); an empty context means the calling thread at this point. The
// walk follows the unwind data and, where it has none or the chain breaks,
// scans the stack for values that point behind a call.
std::vector<TStackFrame> WalkStack(const std::vector<unsigned char>& context);

}  // namespace qr
