#pragma once
// The messages the forwarding benchmark sends. Each names its sender and its
// number within that sender's stream, and the rest of it is a fixed pattern,
// so that a reader can tell cheaply whether every sender's messages arrived
// whole, once each and in order. No byte is 0x0C and none spells "quit".
// Shared by the Linux bench and the Windows tools it runs under Wine.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace qrbench {

// 4 hex digits of sender, 8 hex digits of number.
constexpr size_t kHeaderSize = 12;
constexpr uint32_t kMaxSenders = 0x10000;

inline char HexDigit(uint32_t v) { return "0123456789abcdef"[v & 15]; }

// The filler byte at offset `i` (i >= kHeaderSize) of every message.
inline char PatternByte(size_t i) { return char('a' + i % 26); }

// Writes message `seq` of `sender`, `size` bytes (at least kHeaderSize),
// without the 0x0C that ends it on the wire.
inline void FormatMessage(char* out, size_t size, uint32_t sender, uint32_t seq) {
    for (int k = 0; k < 4; ++k) out[k] = HexDigit(sender >> (4 * (3 - k)));
    for (int k = 0; k < 8; ++k) out[4 + k] = HexDigit(seq >> (4 * (7 - k)));
    for (size_t i = kHeaderSize; i < size; ++i) out[i] = PatternByte(i);
}

inline std::string MakeMessage(size_t size, uint32_t sender, uint32_t seq) {
    std::string m(size, '\0');
    FormatMessage(m.data(), size, sender, seq);
    return m;
}

inline bool ParseHex(const char* p, int digits, uint32_t& value) {
    value = 0;
    for (int k = 0; k < digits; ++k) {
        char c = p[k];
        uint32_t d;
        if (c >= '0' && c <= '9')
            d = uint32_t(c - '0');
        else if (c >= 'a' && c <= 'f')
            d = uint32_t(c - 'a' + 10);
        else
            return false;
        value = value << 4 | d;
    }
    return true;
}

// Follows every sender's stream at the reading end.
class TStreamCheck {
public:
    TStreamCheck() : FNext(kMaxSenders, 0) {}

    void Reset() {
        std::fill(FNext.begin(), FNext.end(), 0u);
        Count = Bytes = Bad = Foreign = 0;
    }

    // Accounts one message as it came out of the mailslot. A message that is
    // not the next one of its sender, or whose filler is not intact, is bad;
    // one without a sender header is foreign (not the bench's).
    void Take(const char* data, size_t size) {
        ++Count;
        Bytes += size;
        uint32_t sender = 0, seq = 0;
        if (size < kHeaderSize || !ParseHex(data, 4, sender) || !ParseHex(data + 4, 8, seq)) {
            ++Foreign;
            return;
        }
        bool ok = seq == FNext[sender];
        FNext[sender] = seq + 1;
        if (ok && size > kHeaderSize) {
            EnsurePattern(size);
            ok = std::memcmp(data + kHeaderSize, FPattern.data() + kHeaderSize, size - kHeaderSize) == 0;
        }
        if (!ok) ++Bad;
    }

    uint64_t Count = 0, Bytes = 0, Bad = 0, Foreign = 0;

private:
    void EnsurePattern(size_t size) {
        if (FPattern.size() >= size) return;
        size_t old = FPattern.size();
        FPattern.resize(size);
        for (size_t i = std::max(old, kHeaderSize); i < size; ++i) FPattern[i] = PatternByte(i);
    }

    std::vector<uint32_t> FNext;
    std::string FPattern;
};

}  // namespace qrbench
