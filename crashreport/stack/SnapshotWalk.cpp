#include "crashreport/stack/SnapshotWalk.h"

#include <algorithm>
#include <cstring>

#include "crashreport/stack/CallCheck.h"

namespace qr {

namespace {

constexpr uint64_t kSlot = 4;
// A stack holds many stale values; the chain search looks this many
// candidates back from each one, which keeps it linear.
constexpr size_t kLinkWindow = 256;
constexpr size_t kMaxCandidates = 8192;
// The longest call instruction IsBehindCall knows, and then some.
constexpr size_t kCallBytes = 8;

uint32_t U32(const unsigned char* at) {
    uint32_t value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

}  // namespace

const TCodeModule* TSnapshotWalk::ModuleAt(uint64_t address) const {
    for (const TCodeModule& m : FSnap.Modules)
        if (address >= m.Base && address - m.Base < m.Size && m.Read) return &m;
    return nullptr;
}

bool TSnapshotWalk::IsCode(uint64_t address) const {
    const TCodeModule* m = ModuleAt(address);
    if (!m) return false;
    uint64_t offset = address - m->Base;
    for (const auto& [start, size] : m->Code)
        if (offset >= start && offset - start < size) return true;
    return false;
}

std::optional<uint32_t> TSnapshotWalk::StackValue(uint64_t slot) const {
    if (slot < FSnap.StackAddress || slot - FSnap.StackAddress > FSnap.Stack.size() ||
        FSnap.Stack.size() - (slot - FSnap.StackAddress) < kSlot)
        return std::nullopt;
    return U32(FSnap.Stack.data() + (slot - FSnap.StackAddress));
}

std::optional<uint32_t> TSnapshotWalk::ImageValue(uint64_t address) const {
    const TCodeModule* m = ModuleAt(address);
    unsigned char bytes[4];
    if (!m || address - m->Base + 4 > m->Size || !m->Read(address - m->Base, bytes, 4)) return std::nullopt;
    return U32(bytes);
}

bool TSnapshotWalk::BehindCall(uint64_t address) const {
    const TCodeModule* m = ModuleAt(address);
    if (!m) return false;
    uint64_t offset = address - m->Base;
    // The call must lie inside the same executable range as its return address.
    for (const auto& [start, size] : m->Code)
        if (offset > start && offset - start <= size) {
            const size_t before = size_t(std::min<uint64_t>(offset - start, kCallBytes));
            unsigned char code[kCallBytes];
            return m->Read(offset - before, code, before) && IsBehindCall(code + before, before);
        }
    return false;
}

void TSnapshotWalk::CollectPossibleStackItems() {
    FCandidates.clear();
    FChain.clear();
    TCandidate innermost;
    innermost.Address = FSnap.Location;
    innermost.Checked = true;
    FCandidates.push_back(innermost);
    for (uint64_t offset = 0; offset + kSlot <= FSnap.Stack.size() && FCandidates.size() < kMaxCandidates;
         offset += kSlot) {
        uint32_t value = U32(FSnap.Stack.data() + offset);
        if (IsCode(value) && BehindCall(value)) {
            TCandidate c;
            c.Slot = FSnap.StackAddress + offset;
            c.Address = value;
            FCandidates.push_back(c);
        }
    }
    // The saved frame pointers: each frame's return address lies above it.
    // A damaged chain ends where it stops going up the stack.
    uint64_t frame = FSnap.FramePointer;
    for (size_t steps = 0; steps < FSnap.Stack.size() / 8 && frame % kSlot == 0; ++steps) {
        std::optional<uint32_t> saved = StackValue(frame), ret = StackValue(frame + kSlot);
        if (!saved || !ret) break;
        for (TCandidate& c : FCandidates)
            if (c.Slot == frame + kSlot) c.FrameChain = true;
        if (*saved <= frame) break;
        frame = *saved;
    }
}

void TSnapshotWalk::RemoveRecursiveStackAreas() {
    RemoveRepeatedRuns(FCandidates, 1, [](const TCandidate& c) { return c.Address; });
}

void TSnapshotWalk::InDeepChecks() {
    for (size_t i = 1; i < FCandidates.size(); ++i) {
        TCandidate& c = FCandidates[i];
        const TCodeModule* m = ModuleAt(c.Address);
        unsigned char call[5];
        if (c.Address - m->Base >= 5 && m->Read(c.Address - m->Base - 5, call, 5) && call[0] == 0xE8) {
            uint64_t target = uint32_t(c.Address + U32(call + 1));
            // An import thunk (jmp [address]) stands for the function it jumps to.
            unsigned char code[6];
            if (const TCodeModule* t = ModuleAt(target); t && target - t->Base + 6 <= t->Size &&
                                                         t->Read(target - t->Base, code, 6) &&
                                                         code[0] == 0xFF && code[1] == 0x25) {
                if (std::optional<uint32_t> jumped = ImageValue(U32(code + 2))) target = *jumped;
            }
            c.Target = target;
            c.Checked = IsCode(target);
        } else {
            // An indirect call: its target is only known to be code somewhere.
            c.Checked = true;
        }
    }
}

int TSnapshotWalk::LinkScore(const TCandidate& outer, const TCandidate& inner) const {
    if (!outer.Checked) return 0;
    const int bonus = outer.FrameChain ? 2 : 0;
    if (!outer.Target) return 1 + bonus;
    // A return address belongs to the function of its call.
    const uint64_t innerCode = inner.Slot ? inner.Address - 1 : inner.Address;
    const uint64_t target = *outer.Target;
    std::optional<TFunctionBounds> bounds =
        FSnap.FunctionOf ? FSnap.FunctionOf(innerCode) : std::optional<TFunctionBounds>{};
    if (bounds && bounds->End) {
        bool reaches = target >= bounds->Start && target < bounds->End;
        return reaches ? 3 + bonus : 0;
    }
    // Only where the function starts at the latest (an export): the call
    // must go into the same module, at or before the inner item.
    const uint64_t from = bounds ? bounds->Start : 0;
    bool plausible =
        ModuleAt(target) && ModuleAt(target) == ModuleAt(innerCode) && target <= innerCode && target >= from;
    return plausible ? 1 + bonus : 0;
}

void TSnapshotWalk::RealizeOptimalLinkChains() {
    const size_t n = FCandidates.size();
    constexpr int kUnreached = -1;
    std::vector<int> best(n, kUnreached);
    std::vector<size_t> previous(n, 0);
    best[0] = 0;
    size_t end = 0;
    for (size_t i = 1; i < n; ++i) {
        for (size_t j = i > kLinkWindow ? i - kLinkWindow : 0; j < i; ++j) {
            if (best[j] == kUnreached) continue;
            int score = LinkScore(FCandidates[i], FCandidates[j]);
            if (score > 0 && best[j] + score > best[i]) {
                best[i] = best[j] + score;
                previous[i] = j;
            }
        }
        // The best chain; among equals the one that reaches further out.
        if (best[i] != kUnreached && best[i] >= best[end]) end = i;
    }
    std::vector<TStackFrame> chain;
    for (size_t i = end; i != 0; i = previous[i]) chain.push_back({FCandidates[i].Address, true});
    chain.push_back({FCandidates[0].Address, false});
    std::reverse(chain.begin(), chain.end());
    FChain = std::move(chain);
}

void TSnapshotWalk::RemoveRecursiveAreas() { RemoveRepetitions(FChain); }

}  // namespace qr
