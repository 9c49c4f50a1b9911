#pragma once
// The x86 (32-bit) stack walk over a snapshot of one thread: its stack
// bytes, the loaded modules' images and the bounds of their functions.
// 32-bit code carries no unwind data, so the walk guesses: every stack
// value that points behind a call is a candidate return address, the saved
// frame pointers vouch for some, and each candidate's call must be able to
// reach the function of the next inner item. Plain data in (the modules'
// bytes through their read functions), no system calls, so it is tested
// on hand-made stacks and code.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "crashreport/stack/StackWalkSteps.h"

namespace qr {

struct TCodeModule {
    uint64_t Base = 0;
    size_t Size = 0;                                  // of the image as loaded
    std::vector<std::pair<uint32_t, uint32_t>> Code;  // executable ranges: offset, size
    // Reads `size` bytes of the image at `offset`; false where it cannot
    // (a module that went away answers false instead of faulting).
    std::function<bool(uint64_t offset, void* out, size_t size)> Read;
};

struct TFunctionBounds {
    uint64_t Start = 0;
    uint64_t End = 0;  // 0: not known
};

struct TStackSnapshot {
    uint64_t StackAddress = 0;         // the address of Stack[0], the stack pointer
    std::vector<unsigned char> Stack;  // up to the end of the stack's memory region
    uint64_t FramePointer = 0;
    uint64_t Location = 0;  // the exception location or the instruction pointer
    std::vector<TCodeModule> Modules;
    // The function that contains a code address, as far as the name map or
    // the exports know it.
    std::function<std::optional<TFunctionBounds>(uint64_t address)> FunctionOf;
};

class TSnapshotWalk : public IStackWalk {
public:
    explicit TSnapshotWalk(TStackSnapshot snapshot) : FSnap(std::move(snapshot)) {}

    void CollectPossibleStackItems() override;
    void RemoveRecursiveStackAreas() override;
    void InDeepChecks() override;
    void RealizeOptimalLinkChains() override;
    void RemoveRecursiveAreas() override;
    std::vector<TStackFrame> Frames() const override { return FChain; }

private:
    struct TCandidate {
        uint64_t Slot = 0;  // where it lies on the stack; the innermost item has none
        uint64_t Address = 0;
        bool FrameChain = false;         // beside a saved frame pointer of the chain
        bool Checked = false;            // its call is plausible
        std::optional<uint64_t> Target;  // a direct call's target
    };
    const TCodeModule* ModuleAt(uint64_t address) const;
    bool IsCode(uint64_t address) const;
    std::optional<uint32_t> StackValue(uint64_t slot) const;
    // The 32-bit value at `address` of a module's image.
    std::optional<uint32_t> ImageValue(uint64_t address) const;
    bool BehindCall(uint64_t address) const;
    // How well `outer`'s call reaches the function of `inner`; 0: not at all.
    int LinkScore(const TCandidate& outer, const TCandidate& inner) const;

    TStackSnapshot FSnap;
    std::vector<TCandidate> FCandidates;  // the innermost item, then by slot
    std::vector<TStackFrame> FChain;
};

}  // namespace qr
