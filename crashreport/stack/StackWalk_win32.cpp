#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "crashreport/stack/CallCheck.h"
#include "crashreport/stack/CodeNamer.h"
#include "crashreport/stack/SnapshotWalk.h"
#include "crashreport/stack/StackWalkSteps.h"
#include "crashreport/stack/PeImage.h"
#include "crashreport/stack/StackWalk.h"

namespace qr {

namespace {

// The committed part of the stack from the stack pointer upwards: every
// read of the walk stays inside it.
struct TStackRange {
    uint64_t Low = 0, High = 0;
    bool Holds(uint64_t address, uint64_t size) const {
        return address >= Low && address <= High && size <= High - address;
    }
};

TStackRange RangeFrom(uint64_t stackPointer) {
    MEMORY_BASIC_INFORMATION info{};
    if (VirtualQuery(reinterpret_cast<const void*>(uintptr_t(stackPointer)), &info, sizeof info) !=
            sizeof info ||
        info.State != MEM_COMMIT || (info.Protect & (PAGE_GUARD | PAGE_NOACCESS)))
        return {};
    return {stackPointer, uint64_t(uintptr_t(info.BaseAddress)) + info.RegionSize};
}

#if defined(_WIN64)

constexpr size_t kMaxFrames = 256;

uintptr_t StackValue(uint64_t address) {
    uintptr_t value;
    std::memcpy(&value, reinterpret_cast<const void*>(uintptr_t(address)), sizeof value);
    return value;
}

// In the executable code of a loaded module, directly behind a call.
bool PointsBehindCall(uint64_t address) {
    HMODULE module = nullptr;
    // No reference taken: the module is only read here.
    if (!GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCWSTR>(uintptr_t(address)), &module))
        return false;
    const auto* base = reinterpret_cast<const unsigned char*>(module);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    TPeImage image(base, nt->OptionalHeader.SizeOfImage);
    uint64_t rva = address - uintptr_t(base);
    for (const TImageSection& s : image.Sections())
        if (s.Executable && rva > s.Address && rva < uint64_t(s.Address) + s.Size)
            return IsBehindCall(base + rva, size_t(rva - s.Address));
    return false;
}

// The first stack slot at or above `from` that holds a candidate return
// address; 0 when there is none.
uint64_t NextCandidate(const TStackRange& range, uint64_t from) {
    for (uint64_t slot = from; range.Holds(slot, sizeof(uintptr_t)); slot += sizeof(uintptr_t))
        if (PointsBehindCall(StackValue(slot))) return slot;
    return 0;
}

// The unwind walk checks each item as it goes (only values behind a call
// are taken where the chain breaks): collecting is the whole walk.
class TUnwindWalk : public TFrameListWalk {
public:
    explicit TUnwindWalk(const CONTEXT& context) : FContext(context) {}
    void CollectPossibleStackItems() override;

private:
    CONTEXT FContext;
};

void TUnwindWalk::CollectPossibleStackItems() {
    CONTEXT context = FContext;
    FFrames.clear();
    std::vector<TStackFrame>& frames = FFrames;
    frames.push_back({context.Rip, false});
    const TStackRange range = RangeFrom(context.Rsp);
    while (frames.size() < kMaxFrames && range.Holds(context.Rsp, 8)) {
        const uint64_t previousSp = context.Rsp;
        DWORD64 imageBase = 0;
        PRUNTIME_FUNCTION function = RtlLookupFunctionEntry(context.Rip, &imageBase, nullptr);
        if (function) {
            void* handlerData = nullptr;
            DWORD64 establisher = 0;
            RtlVirtualUnwind(UNW_FLAG_NHANDLER, imageBase, context.Rip, function, &context, &handlerData,
                             &establisher, nullptr);
            if (!context.Rip) break;  // the thread's first frame
        } else {
            // A leaf function without unwind data: its return address is on top.
            context.Rip = StackValue(context.Rsp);
            context.Rsp += 8;
        }
        if (context.Rsp <= previousSp || !range.Holds(context.Rsp, 0) || !PointsBehindCall(context.Rip)) {
            // The chain broke: go on from the next value behind a call.
            uint64_t slot = NextCandidate(range, previousSp);
            if (!slot) break;
            context.Rip = StackValue(slot);
            context.Rsp = slot + 8;
        }
        frames.push_back({context.Rip, true});
    }
}

#else

// The executable ranges of every loaded module, read in place: the
// modules stay loaded while their own report is made.
std::vector<TCodeModule> LoadedCodeModules() {
    std::vector<HMODULE> handles(512);
    DWORD needed = 0;
    // The current process's pseudo handle: nothing to close.
    if (!EnumProcessModules(GetCurrentProcess(), handles.data(), DWORD(handles.size() * sizeof(HMODULE)),
                            &needed))
        return {};
    handles.resize(std::min<size_t>(handles.size(), needed / sizeof(HMODULE)));
    std::vector<TCodeModule> modules;
    for (HMODULE handle : handles) {
        MODULEINFO info{};
        if (!GetModuleInformation(GetCurrentProcess(), handle, &info, sizeof info)) continue;
        TCodeModule m;
        m.Base = uintptr_t(info.lpBaseOfDll);
        m.Memory = static_cast<const unsigned char*>(info.lpBaseOfDll);
        m.Size = info.SizeOfImage;
        for (const TImageSection& s : TPeImage(m.Memory, m.Size).Sections())
            if (s.Executable) m.Code.push_back({s.Address, s.Size});
        modules.push_back(std::move(m));
    }
    return modules;
}

#endif

}  // namespace

std::unique_ptr<IStackWalk> CreateStackWalk(const std::vector<unsigned char>& raw,
                                            [[maybe_unused]] TCodeNamer& namer) {
    CONTEXT context{};
    if (raw.size() >= sizeof context)
        std::memcpy(&context, raw.data(), sizeof context);
    else
        RtlCaptureContext(&context);
#if defined(_WIN64)
    return std::make_unique<TUnwindWalk>(context);
#else
    TStackSnapshot snapshot;
    const TStackRange range = RangeFrom(context.Esp);
    snapshot.StackAddress = range.Low;
    if (range.High > range.Low) {
        snapshot.Stack.resize(size_t(range.High - range.Low));
        std::memcpy(snapshot.Stack.data(), reinterpret_cast<const void*>(uintptr_t(range.Low)),
                    snapshot.Stack.size());
    }
    snapshot.FramePointer = context.Ebp;
    snapshot.Location = context.Eip;
    snapshot.Modules = LoadedCodeModules();
    // Function bounds from the name maps, or where a function starts from the exports.
    snapshot.FunctionOf = [&namer](uint64_t address) -> std::optional<TFunctionBounds> {
        TCodeName name = namer.Name(address);
        if (!name.FunctionStart) return std::nullopt;
        uint64_t end = name.FunctionSize ? *name.FunctionStart + name.FunctionSize : 0;
        return TFunctionBounds{*name.FunctionStart, end};
    };
    return std::make_unique<TSnapshotWalk>(std::move(snapshot));
#endif
}

}  // namespace qr
