#pragma once
// The times of the most recent reported failures, and the block that hands
// them to the new process on a restart.
#include <array>
#include <cstddef>
#include <cstdint>

namespace qr {

// Whole seconds since 1601-01-01 UTC, newest first; 0 marks an empty slot.
class TExceptTimeHistory {
public:
    static constexpr size_t kCount = 10;
    using TTimes = std::array<uint64_t, kCount>;

    void Record(uint64_t now);
    const TTimes& Times() const { return FTimes; }
    void TakeOver(const TTimes& times) { FTimes = times; }

private:
    TTimes FTimes{};
};

// The restart hand-over block: the old process's id, the block's handle as
// duplicated into the new process, the history; little-endian.
struct TRestartHandOver {
    static constexpr size_t kSize = 88;
    uint32_t OldProcessId = 0;
    uint32_t BlockHandle = 0;
    TExceptTimeHistory::TTimes History{};
};

void WriteRestartHandOver(const TRestartHandOver& block, unsigned char (&bytes)[TRestartHandOver::kSize]);
TRestartHandOver ReadRestartHandOver(const unsigned char (&bytes)[TRestartHandOver::kSize]);

}  // namespace qr
