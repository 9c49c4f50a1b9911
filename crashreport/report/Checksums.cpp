#include "crashreport/report/Checksums.h"

#include <array>
#include <cctype>

#include "crashreport/report/HeaderFormats.h"

namespace qr {

namespace {

std::array<uint32_t, 256> MakeTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[i] = c;
    }
    return table;
}

uint32_t UpdateLower(uint32_t crc, std::string_view text) {
    AnsiString lower(text);
    for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
    return Crc32Update(crc, lower.data(), lower.size());
}

uint32_t UpdateValue(uint32_t crc, uint32_t value) {
    const unsigned char bytes[4] = {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
                                    static_cast<unsigned char>(value >> 16),
                                    static_cast<unsigned char>(value >> 24)};
    return Crc32Update(crc, bytes, 4);
}

}  // namespace

uint32_t Crc32Update(uint32_t crc, const void* data, size_t size) {
    static const std::array<uint32_t, 256> table = MakeTable();
    auto bytes = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < size; ++i) crc = table[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

uint32_t StackItemValue(const TStackItemName& item) {
    if (item.FunctionStart == 0 || item.Function.empty()) return uint32_t(item.Address);
    uint32_t value = uint32_t(item.Address - item.FunctionStart);
    value = UpdateLower(value, item.Module);
    if (!item.Unit.empty()) value = UpdateLower(value, item.Unit);
    return UpdateLower(value, item.Function);
}

TStackChecksums StackChecksums(const std::vector<TStackItemName>& stack) {
    TStackChecksums sums;
    for (size_t i = 0; i < stack.size(); ++i) {
        uint32_t value = StackItemValue(stack[i]);
        if (i == 0)
            sums.First = sums.Running = value;
        else
            sums.Running = UpdateValue(sums.Running, value);
        if (stack[i].Line) sums.HasLine = true;
    }
    return sums;
}

AnsiString CallstackCrcText(const TStackChecksums& failing, const std::vector<TStackChecksums>& others) {
    uint32_t all = failing.Running;
    for (const TStackChecksums& other : others)
        if (other.HasLine) all = UpdateValue(all, other.Running);
    return "$" + Hex(failing.First, 8) + ", $" + Hex(failing.Running, 8) + ", $" + Hex(all, 8);
}

}  // namespace qr
