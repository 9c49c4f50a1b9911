#include "crashreport/stack/PeImage.h"

#include <algorithm>
#include <cstring>

namespace qr {

namespace {

constexpr uint32_t kPe32Magic = 0x10b, kPe32PlusMagic = 0x20b;
constexpr uint32_t kCodeExecutable = 0x20000000;  // IMAGE_SCN_MEM_EXECUTE
// Names longer than this are not function names of a module we list.
constexpr size_t kMaxExportName = 512;

}  // namespace

uint32_t TPeImage::U16(uint64_t offset) const {
    return Has(offset, 2) ? uint32_t(FBase[offset]) | uint32_t(FBase[offset + 1]) << 8 : 0;
}

uint32_t TPeImage::U32(uint64_t offset) const {
    return Has(offset, 4) ? U16(offset) | U16(offset + 2) << 16 : 0;
}

void TPeImage::ReadHeaders() {
    if (!Has(0, 64) || U16(0) != 0x5a4d) return;  // "MZ"
    uint64_t nt = U32(0x3c);
    if (!Has(nt, 24) || U32(nt) != 0x4550) return;  // "PE\0\0"
    FSectionCount = U16(nt + 6);
    uint32_t optionalSize = U16(nt + 20);
    uint64_t optional = nt + 24;
    uint32_t magic = U16(optional);
    uint64_t directories = magic == kPe32Magic ? optional + 96 : magic == kPe32PlusMagic ? optional + 112 : 0;
    if (!directories || !Has(optional, optionalSize)) return;
    uint32_t directoryCount = U32(directories - 4);
    if (directoryCount >= 1 && directories + 8 <= optional + optionalSize) {
        FExportAddress = U32(directories);
        FExportSize = U32(directories + 4);
    }
    FSectionTable = optional + optionalSize;
    if (!Has(FSectionTable, uint64_t(FSectionCount) * 40)) return;
    FValid = true;
}

std::vector<TImageSection> TPeImage::Sections() const {
    std::vector<TImageSection> sections;
    for (uint32_t i = 0; FValid && i < FSectionCount; ++i) {
        uint64_t header = FSectionTable + uint64_t(i) * 40;
        TImageSection s;
        s.Size = U32(header + 8);
        s.Address = U32(header + 12);
        s.Executable = (U32(header + 36) & kCodeExecutable) != 0;
        if (InImage(s.Address, s.Size)) sections.push_back(s);
    }
    return sections;
}

std::optional<TImageSection> TPeImage::Section(std::string_view name) const {
    if (name.size() > 8) return std::nullopt;
    for (uint32_t i = 0; FValid && i < FSectionCount; ++i) {
        uint64_t header = FSectionTable + uint64_t(i) * 40;
        char stored[8] = {};
        std::memcpy(stored, FBase + header, 8);
        if (std::string_view(stored, strnlen(stored, 8)) != name) continue;
        TImageSection s;
        s.Size = U32(header + 8);
        s.Address = U32(header + 12);
        s.Executable = (U32(header + 36) & kCodeExecutable) != 0;
        if (InImage(s.Address, s.Size)) return s;
    }
    return std::nullopt;
}

std::vector<std::pair<uint32_t, AnsiString>> TPeImage::Exports() const {
    std::vector<std::pair<uint32_t, AnsiString>> exports;
    if (!FValid || !FExportAddress || !Has(FExportAddress, 40)) return exports;
    uint32_t functionCount = U32(FExportAddress + 20), nameCount = U32(FExportAddress + 24);
    uint64_t functions = U32(FExportAddress + 28), names = U32(FExportAddress + 32),
             ordinals = U32(FExportAddress + 36);
    if (!Has(functions, uint64_t(functionCount) * 4) || !Has(names, uint64_t(nameCount) * 4) ||
        !Has(ordinals, uint64_t(nameCount) * 2))
        return exports;
    for (uint32_t i = 0; i < nameCount; ++i) {
        uint32_t ordinal = U16(ordinals + uint64_t(i) * 2);
        if (ordinal >= functionCount) continue;
        uint32_t address = U32(functions + uint64_t(ordinal) * 4);
        // An address inside the export directory forwards to another module.
        if (address >= FExportAddress && address - FExportAddress < FExportSize) continue;
        uint64_t name = U32(names + uint64_t(i) * 4);
        if (!Has(name, 1)) continue;
        size_t length = strnlen(reinterpret_cast<const char*>(FBase + name),
                                size_t(std::min<uint64_t>(kMaxExportName, FSize - name)));
        exports.emplace_back(address, AnsiString(reinterpret_cast<const char*>(FBase + name), length));
    }
    std::sort(exports.begin(), exports.end());
    return exports;
}

}  // namespace qr
