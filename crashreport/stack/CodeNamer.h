#pragma once
// Names code addresses of the process: the module, and from the module's
// name and line map (or, where the map has no entry, its export table) the
// function, unit and line. Maps and export tables are read once per module.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "base/Text.h"
#include "crashreport/stack/NameMap.h"

namespace qr {

// A loaded module as the naming sees it.
struct TModuleImage {
    uint64_t Base = 0;
    const unsigned char* Memory = nullptr;  // the image as loaded, Size bytes
    size_t Size = 0;
    AnsiString FileName;  // without folder
};

struct TCodeName {
    uint64_t Address = 0;
    AnsiString Module;  // empty: not inside a loaded module
    std::optional<uint64_t> FunctionStart;
    uint64_t FunctionSize = 0;  // 0: unknown
    AnsiString Unit, Function;
    int Line = 0, FirstLine = 0;  // 0: unknown
};

// The section that holds a program's map.
constexpr const char* kNameMapSection = ".qrmap";

class TCodeNamer {
public:
    using TModuleLookup = std::function<std::optional<TModuleImage>(uint64_t address)>;
    explicit TCodeNamer(TModuleLookup moduleOf) : FModuleOf(std::move(moduleOf)) {}

    TCodeName Name(uint64_t address);

private:
    struct TModuleNames {
        std::optional<TNameMap> Map;
        std::vector<std::pair<uint32_t, AnsiString>> Exports;
    };
    const TModuleNames& NamesOf(const TModuleImage& module);

    TModuleLookup FModuleOf;
    std::map<uint64_t, TModuleNames> FModules;  // by base address
};

}  // namespace qr
