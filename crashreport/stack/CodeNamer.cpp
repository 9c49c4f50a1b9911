#include "crashreport/stack/CodeNamer.h"

#include <algorithm>

#include "crashreport/stack/PeImage.h"

namespace qr {

const TCodeNamer::TModuleNames& TCodeNamer::NamesOf(const TModuleImage& module) {
    auto found = FModules.find(module.Base);
    if (found != FModules.end()) return found->second;
    TModuleNames names;
    TPeImage image(module.Memory, module.Size);
    if (auto section = image.Section(kNameMapSection)) {
        try {
            names.Map = TNameMap::FromStored(module.Memory + section->Address, section->Size);
        } catch (const ENameMapError&) {
            // A damaged map names nothing; the exports still do.
        }
    }
    names.Exports = image.Exports();
    return FModules.emplace(module.Base, std::move(names)).first->second;
}

TCodeName TCodeNamer::Name(uint64_t address) {
    TCodeName name;
    name.Address = address;
    std::optional<TModuleImage> module = FModuleOf(address);
    if (!module || address < module->Base || address - module->Base >= module->Size) return name;
    name.Module = module->FileName;
    const TModuleNames& names = NamesOf(*module);
    auto rva = uint32_t(address - module->Base);
    if (names.Map) {
        if (auto found = names.Map->Find(rva)) {
            name.FunctionStart = module->Base + found->FunctionStart;
            name.FunctionSize = found->FunctionSize;
            name.Function = found->Function;
            name.Unit = found->Unit;
            name.Line = found->Line;
            name.FirstLine = found->FirstLine;
            return name;
        }
    }
    // The nearest export at or before the address.
    auto next = std::upper_bound(names.Exports.begin(), names.Exports.end(), rva,
                                 [](uint32_t a, const auto& e) { return a < e.first; });
    if (next != names.Exports.begin()) {
        name.FunctionStart = module->Base + std::prev(next)->first;
        name.Function = std::prev(next)->second;
    }
    return name;
}

}  // namespace qr
