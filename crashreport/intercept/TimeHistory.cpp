#include "crashreport/intercept/TimeHistory.h"

namespace qr {

namespace {

void Put(unsigned char* at, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
}

uint64_t Get(const unsigned char* at, int bytes) {
    uint64_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | at[i];
    return value;
}

}  // namespace

void TExceptTimeHistory::Record(uint64_t now) {
    for (size_t i = kCount - 1; i > 0; --i) FTimes[i] = FTimes[i - 1];
    FTimes[0] = now;
}

void WriteRestartHandOver(const TRestartHandOver& block, unsigned char (&bytes)[TRestartHandOver::kSize]) {
    Put(bytes, block.OldProcessId, 4);
    Put(bytes + 4, block.BlockHandle, 4);
    for (size_t i = 0; i < TExceptTimeHistory::kCount; ++i) Put(bytes + 8 + 8 * i, block.History[i], 8);
}

TRestartHandOver ReadRestartHandOver(const unsigned char (&bytes)[TRestartHandOver::kSize]) {
    TRestartHandOver block;
    block.OldProcessId = static_cast<uint32_t>(Get(bytes, 4));
    block.BlockHandle = static_cast<uint32_t>(Get(bytes + 4, 4));
    for (size_t i = 0; i < TExceptTimeHistory::kCount; ++i) block.History[i] = Get(bytes + 8 + 8 * i, 8);
    return block;
}

}  // namespace qr
