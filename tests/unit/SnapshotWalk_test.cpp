// The x86 stack walk on hand-made 32-bit code and stacks: frames with and
// without a frame pointer, stale values that look like return addresses,
// recursion, and stacks whose frame chain or contents are damaged.
#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "crashreport/stack/SnapshotWalk.h"

namespace qr {
namespace {

constexpr uint32_t kBase = 0x401000;
constexpr uint32_t kStack = 0x12f000;

// One module of nops with calls written into it, and its functions.
class TSyntheticCode {
public:
    TSyntheticCode() : FBytes(0x1000, 0x90) {}
    void Function(uint32_t start, uint32_t end) { FFunctions[start] = end; }
    // "call target" at `at`; returns the address behind it.
    uint32_t Call(uint32_t at, uint32_t target) {
        FBytes[at - kBase] = 0xE8;
        uint32_t relative = target - (at + 5);
        std::memcpy(&FBytes[at - kBase + 1], &relative, 4);
        return at + 5;
    }
    // "call eax" at `at`.
    uint32_t CallRegister(uint32_t at) {
        FBytes[at - kBase] = 0xFF;
        FBytes[at - kBase + 1] = 0xD0;
        return at + 2;
    }
    // Unreadable: the module went away while the walk ran.
    bool Gone = false;
    TCodeModule Module() const {
        return {kBase,
                FBytes.size(),
                {{0, uint32_t(FBytes.size())}},
                [this](uint64_t offset, void* out, size_t size) {
                    if (Gone || offset > FBytes.size() || size > FBytes.size() - offset) return false;
                    std::memcpy(out, FBytes.data() + offset, size);
                    return true;
                }};
    }
    std::optional<TFunctionBounds> Bounds(uint64_t address) const {
        auto next = FFunctions.upper_bound(uint32_t(address));
        if (next == FFunctions.begin()) return std::nullopt;
        --next;
        if (address >= next->second) return std::nullopt;
        return TFunctionBounds{next->first, next->second};
    }

private:
    std::vector<unsigned char> FBytes;
    std::map<uint32_t, uint32_t> FFunctions;
};

// Functions of the synthetic module.
constexpr uint32_t kEntry = 0x401000, kMain = 0x401100, kA = 0x401200, kB = 0x401300, kC = 0x401400,
                   kZ = 0x401500, kY = 0x401600, kR = 0x401700, kP = 0x401800, kQ = 0x401900;

class SnapshotWalk : public ::testing::Test {
protected:
    TSyntheticCode Code;
    uint32_t RetEntry = 0, RetMain = 0, RetA = 0, RetB = 0, RetZ = 0, RetR = 0, RetMainR = 0, RetP = 0,
             RetQ = 0, RetMainP = 0, RetMainIndirect = 0;

    void SetUp() override {
        for (uint32_t f : {kEntry, kMain, kA, kB, kC, kZ, kY, kR, kP, kQ}) Code.Function(f, f + 0x100);
        RetEntry = Code.Call(kEntry + 0x10, kMain);
        RetMain = Code.Call(kMain + 0x20, kA);
        RetMainR = Code.Call(kMain + 0x30, kR);
        RetMainP = Code.Call(kMain + 0x40, kP);
        RetMainIndirect = Code.CallRegister(kMain + 0x50);
        RetA = Code.Call(kA + 0x30, kB);
        RetB = Code.Call(kB + 0x10, kC);
        RetZ = Code.Call(kZ + 0x10, kY);  // Z calls Y: nothing on these stacks
        RetR = Code.Call(kR + 0x20, kR);
        RetP = Code.Call(kP + 0x10, kQ);
        RetQ = Code.Call(kQ + 0x10, kP);
    }

    // The stack from its lowest slot; `frameSlot` is the slot the frame
    // pointer points at (-1: an address outside the stack).
    std::vector<uint64_t> Walk(const std::vector<uint32_t>& slots, int frameSlot, uint32_t location,
                               size_t cut = 0) {
        TStackSnapshot snapshot;
        snapshot.StackAddress = kStack;
        snapshot.Stack.resize(slots.size() * 4);
        if (!slots.empty()) std::memcpy(snapshot.Stack.data(), slots.data(), snapshot.Stack.size());
        snapshot.Stack.resize(snapshot.Stack.size() - cut);
        snapshot.FramePointer = frameSlot < 0 ? 0xfffffff0u : kStack + 4u * uint32_t(frameSlot);
        snapshot.Location = location;
        snapshot.Modules = {Code.Module()};
        snapshot.FunctionOf = [this](uint64_t a) { return Code.Bounds(a); };
        TSnapshotWalk walk(std::move(snapshot));
        walk.CollectPossibleStackItems();
        walk.RemoveRecursiveStackAreas();
        walk.InDeepChecks();
        walk.RealizeOptimalLinkChains();
        walk.RemoveRecursiveAreas();
        std::vector<uint64_t> addresses;
        for (const TStackFrame& f : walk.Frames()) addresses.push_back(f.Address);
        return addresses;
    }
    static uint32_t Slot(int index) { return kStack + 4u * uint32_t(index); }
};

TEST_F(SnapshotWalk, FollowsCallsWithAndWithoutFramePointersAndSkipsStaleValues) {
    // C and B keep no frame; A does (saved frame pointer at slot 5), as do
    // Main and the entry. A's locals hold a return address of an unrelated
    // call and a code address that is not behind any call.
    const uint32_t location = kC + 0x20;
    std::vector<uint32_t> stack = {5, RetB, RetA, RetZ, kC + 0x50, Slot(7), RetMain, 0, RetEntry};
    EXPECT_EQ(Walk(stack, 5, location), (std::vector<uint64_t>{location, RetB, RetA, RetMain, RetEntry}));
    // The innermost item is the location itself, the others return addresses.
    TStackSnapshot snapshot;
    snapshot.StackAddress = kStack;
    snapshot.Stack.assign(reinterpret_cast<unsigned char*>(stack.data()),
                          reinterpret_cast<unsigned char*>(stack.data() + stack.size()));
    snapshot.Location = location;
    snapshot.Modules = {Code.Module()};
    snapshot.FunctionOf = [this](uint64_t a) { return Code.Bounds(a); };
    TSnapshotWalk walk(snapshot);
    walk.CollectPossibleStackItems();
    walk.RemoveRecursiveStackAreas();
    walk.InDeepChecks();
    walk.RealizeOptimalLinkChains();
    walk.RemoveRecursiveAreas();
    ASSERT_EQ(walk.Frames().size(), 5u);
    EXPECT_FALSE(walk.Frames()[0].Return);
    EXPECT_TRUE(walk.Frames()[1].Return);

    // An indirect call is taken as a link where nothing better is there.
    std::vector<uint32_t> indirect = {RetB, RetA, Slot(4), RetMainIndirect, 0};
    EXPECT_EQ(Walk(indirect, 2, location), (std::vector<uint64_t>{location, RetB, RetA, RetMainIndirect}));
}

TEST_F(SnapshotWalk, AModuleThatCannotBeReadGivesNoCandidates) {
    const uint32_t location = kC + 0x20;
    std::vector<uint32_t> stack = {5, RetB, RetA, RetZ, kC + 0x50, Slot(7), RetMain, 0, RetEntry};
    Code.Gone = true;
    EXPECT_EQ(Walk(stack, 5, location), (std::vector<uint64_t>{location}));
}

TEST_F(SnapshotWalk, ListsARecursionOnce) {
    const uint32_t inR = kR + 0x40;
    std::vector<uint32_t> direct = {RetR, RetR, 7, RetR, RetR, RetMainR, RetEntry};
    EXPECT_EQ(Walk(direct, -1, inR), (std::vector<uint64_t>{inR, RetR, RetMainR, RetEntry}));
    // P and Q calling each other: one round of the pair stays.
    const uint32_t inQ = kQ + 0x40;
    std::vector<uint32_t> mutual = {RetP, RetQ, RetP, RetQ, RetP, RetQ, RetP, RetMainP, RetEntry};
    EXPECT_EQ(Walk(mutual, -1, inQ), (std::vector<uint64_t>{inQ, RetP, RetQ, RetP, RetMainP, RetEntry}));
}

TEST_F(SnapshotWalk, DamagedStacksStillGiveWhatTheCallsVouchFor) {
    const uint32_t location = kC + 0x20;
    // A frame chain that loops on itself, then one that points outside the
    // stack, values that point nowhere or at the module's first byte, and
    // a stack cut in the middle of its last slot.
    std::vector<uint32_t> looping = {Slot(0), RetB, 0xffffffffu, kBase, RetA, RetMain, RetEntry, RetEntry};
    EXPECT_EQ(Walk(looping, 0, location, 2),
              (std::vector<uint64_t>{location, RetB, RetA, RetMain, RetEntry}));
    EXPECT_EQ(Walk(looping, -1, location), (std::vector<uint64_t>{location, RetB, RetA, RetMain, RetEntry}));
    // A frame chain that runs into the cut end.
    std::vector<uint32_t> cut = {RetB, RetA, Slot(3), Slot(5), 0};
    EXPECT_EQ(Walk(cut, 3, location, 3), (std::vector<uint64_t>{location, RetB, RetA}));
    // A location outside every module: nothing can be linked to it.
    EXPECT_EQ(Walk(looping, -1, 0), (std::vector<uint64_t>{0}));
    // No stack at all.
    EXPECT_EQ(Walk({}, -1, location), (std::vector<uint64_t>{location}));
}

TEST(RepeatedRuns, KeepTheFirstOccurrenceOfEachRun) {
    auto removed = [](std::vector<int> items, size_t from) {
        RemoveRepeatedRuns(items, from, [](int i) { return i; });
        return items;
    };
    EXPECT_EQ(removed({1, 2, 2, 2, 3}, 0), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(removed({1, 2, 3, 2, 3, 2, 3, 4}, 0), (std::vector<int>{1, 2, 3, 4}));
    // "A A B A A B" is "A B" once the inner repetition is gone.
    EXPECT_EQ(removed({5, 5, 6, 5, 5, 6}, 0), (std::vector<int>{5, 6}));
    // Items before `from` stay as they are.
    EXPECT_EQ(removed({7, 7, 8, 8}, 1), (std::vector<int>{7, 7, 8}));
    EXPECT_EQ(removed({1, 2, 3}, 0), (std::vector<int>{1, 2, 3}));
}

}  // namespace
}  // namespace qr
