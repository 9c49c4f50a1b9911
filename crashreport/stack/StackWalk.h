#pragma once
// The call stack of a thread of this process, innermost first.
#include <cstdint>
#include <memory>
#include <vector>

namespace qr {

struct TStackFrame {
    uint64_t Address = 0;
    bool Return = false;  // a return address: its call lies just in front
};

class IStackWalk;
class TCodeNamer;

// The walk from a processor context (the system's CONTEXT record, copied
// as bytes); an empty context means the calling thread at this point. On
// x86-64 it follows the unwind data and, where there is none or the chain
// breaks, scans the stack for values that point behind a call; on x86 it
// is the snapshot walk over the thread's stack and the loaded modules,
// which asks `namer` (the report's own, with the name maps it has read)
// for the bounds of functions. `namer` must outlive the walk.
std::unique_ptr<IStackWalk> CreateStackWalk(const std::vector<unsigned char>& context, TCodeNamer& namer);

}  // namespace qr
