#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "crashreport/stack/CallCheck.h"
#include "crashreport/stack/CodeNamer.h"
#include "crashreport/stack/OwnMemory_win32.h"
#include "crashreport/stack/SnapshotWalk.h"
#include "crashreport/stack/StackWalkSteps.h"
#include "crashreport/stack/PeImage.h"
#include "crashreport/stack/StackWalk.h"

// Every read of another thread's stack or of a module's bytes goes through
// OwnMemory_win32.h: the thread may have ended since its context was taken,
// and a plain read of its released stack would fault inside the walk.

namespace qr {

namespace {

// The longest call instruction IsBehindCall knows, and then some.
constexpr size_t kCallBytes = 8;

// A stack that could not be read: its walk says so at its first step.
class TGoneStackWalk : public TFrameListWalk {
public:
    void CollectPossibleStackItems() override {
        throw EStackNotAccessible("The thread's stack cannot be read.");
    }
};

#if defined(_WIN64)

constexpr size_t kMaxFrames = 256;
// Zeros behind the copy: a frame that claims more stack than is left
// (a stale value taken for a return address) reads them, not what lies
// behind the copy's memory.
constexpr size_t kUnwindSlack = 64 * 1024;

// The section tables of the loaded modules, read once per walk.
class TModuleCode {
public:
    // In the executable code of a loaded module, directly behind a call.
    bool BehindCall(uint64_t address);

private:
    struct TModule {
        uint64_t Base = 0;
        std::vector<TImageSection> Sections;
    };
    const TModule* ModuleOf(uint64_t address);

    std::vector<TModule> FModules;
};

const TModuleCode::TModule* TModuleCode::ModuleOf(uint64_t address) {
    HMODULE module = nullptr;
    // No reference taken: the module is only read here.
    if (!GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCWSTR>(uintptr_t(address)), &module))
        return nullptr;
    const uint64_t base = uintptr_t(module);
    for (const TModule& m : FModules)
        if (m.Base == base) return &m;
    MODULEINFO info{};
    if (!GetModuleInformation(GetCurrentProcess(), module, &info, sizeof info)) return nullptr;
    FModules.push_back({base, ModuleSections(base, info.SizeOfImage)});
    return &FModules.back();
}

bool TModuleCode::BehindCall(uint64_t address) {
    const TModule* m = ModuleOf(address);
    if (!m) return false;
    const uint64_t rva = address - m->Base;
    for (const TImageSection& s : m->Sections)
        if (s.Executable && rva > s.Address && rva < uint64_t(s.Address) + s.Size) {
            const size_t before = size_t(std::min<uint64_t>(rva - s.Address, kCallBytes));
            unsigned char code[kCallBytes];
            return ReadOwnMemory(address - before, code, before) && IsBehindCall(code + before, before);
        }
    return false;
}

// The general registers in the order of the unwind data's register numbers.
constexpr DWORD64 CONTEXT::*kRegisters[] = {&CONTEXT::Rax, &CONTEXT::Rcx, &CONTEXT::Rdx, &CONTEXT::Rbx,
                                            &CONTEXT::Rsp, &CONTEXT::Rbp, &CONTEXT::Rsi, &CONTEXT::Rdi,
                                            &CONTEXT::R8,  &CONTEXT::R9,  &CONTEXT::R10, &CONTEXT::R11,
                                            &CONTEXT::R12, &CONTEXT::R13, &CONTEXT::R14, &CONTEXT::R15};

// The unwind walk over a copy of the stack. It checks each item as it
// goes (only values behind a call are taken where the chain breaks):
// collecting is the whole walk.
class TUnwindWalk : public TFrameListWalk {
public:
    TUnwindWalk(const CONTEXT& context, TStackCopy stack);
    void CollectPossibleStackItems() override;

private:
    bool Holds(uint64_t address, uint64_t size) const { return FStack.Holds(address, size); }
    uint64_t StackValue(uint64_t slot) const;
    // The first stack slot at or above `from` that holds a candidate
    // return address; 0 when there is none.
    uint64_t NextCandidate(uint64_t from);
    // One frame up by the unwind data; false when the frame's data cannot
    // be read or its frame register points outside the stack.
    bool Unwind(CONTEXT& context, DWORD64 imageBase, PRUNTIME_FUNCTION function);

    CONTEXT FContext;
    TStackCopy FStack;
    // The copy with the slack behind it: what the system's unwinding reads.
    std::vector<unsigned char> FUnwound;
    TModuleCode FCode;
};

TUnwindWalk::TUnwindWalk(const CONTEXT& context, TStackCopy stack)
    : FContext(context), FStack(std::move(stack)) {
    FUnwound = FStack.Bytes;
    FUnwound.resize(FUnwound.size() + kUnwindSlack, 0);
}

uint64_t TUnwindWalk::StackValue(uint64_t slot) const {
    uint64_t value = 0;
    if (Holds(slot, sizeof value))
        std::memcpy(&value, FStack.Bytes.data() + (slot - FStack.Low), sizeof value);
    return value;
}

uint64_t TUnwindWalk::NextCandidate(uint64_t from) {
    for (uint64_t slot = from; Holds(slot, 8); slot += 8)
        if (FCode.BehindCall(StackValue(slot))) return slot;
    return 0;
}

bool TUnwindWalk::Unwind(CONTEXT& context, DWORD64 imageBase, PRUNTIME_FUNCTION function) {
    // The unwind data's header: its fourth byte names the frame register.
    unsigned char header[4];
    if (!ReadOwnMemory(imageBase + function->UnwindData, header, sizeof header)) return false;
    const unsigned frameRegister = header[3] & 0x0F;
    if (frameRegister && !Holds(context.*kRegisters[frameRegister], 0)) return false;
    // The system's unwinding reads the stack where the registers point: it
    // is given the copy's addresses, and the stack's own come back.
    const uint64_t copy = uintptr_t(FUnwound.data()), copyEnd = copy + FUnwound.size();
    const uint64_t shift = copy - FStack.Low;
    for (DWORD64 CONTEXT::*r : kRegisters)
        if (Holds(context.*r, 0)) context.*r += shift;
    void* handlerData = nullptr;
    DWORD64 establisher = 0;
    RtlVirtualUnwind(UNW_FLAG_NHANDLER, imageBase, context.Rip, function, &context, &handlerData,
                     &establisher, nullptr);
    for (DWORD64 CONTEXT::*r : kRegisters)
        if (context.*r >= copy && context.*r <= copyEnd) context.*r -= shift;
    return true;
}

void TUnwindWalk::CollectPossibleStackItems() {
    CONTEXT context = FContext;
    FFrames.clear();
    std::vector<TStackFrame>& frames = FFrames;
    frames.push_back({context.Rip, false});
    while (frames.size() < kMaxFrames && Holds(context.Rsp, 8)) {
        const uint64_t previousSp = context.Rsp;
        DWORD64 imageBase = 0;
        PRUNTIME_FUNCTION function = RtlLookupFunctionEntry(context.Rip, &imageBase, nullptr);
        bool unwound = true;
        if (function) {
            unwound = Unwind(context, imageBase, function);
            if (unwound && !context.Rip) break;  // the thread's first frame
        } else {
            // A leaf function without unwind data: its return address is on top.
            context.Rip = StackValue(context.Rsp);
            context.Rsp += 8;
        }
        if (!unwound || context.Rsp <= previousSp || !Holds(context.Rsp, 0) ||
            !FCode.BehindCall(context.Rip)) {
            // The chain broke: go on from the next value behind a call.
            uint64_t slot = NextCandidate(previousSp);
            if (!slot) break;
            context.Rip = StackValue(slot);
            context.Rsp = slot + 8;
        }
        frames.push_back({context.Rip, true});
    }
}

#else

// The executable ranges of every loaded module, their bytes read as the
// walk asks for them.
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
        m.Size = info.SizeOfImage;
        for (const TImageSection& s : ModuleSections(m.Base, m.Size))
            if (s.Executable) m.Code.push_back({s.Address, s.Size});
        m.Read = [base = m.Base](uint64_t offset, void* out, size_t size) {
            return ReadOwnMemory(base + offset, out, size);
        };
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
    std::optional<TStackCopy> stack = CopyStack(context.Rsp);
    if (!stack) return std::make_unique<TGoneStackWalk>();
    return std::make_unique<TUnwindWalk>(context, std::move(*stack));
#else
    std::optional<TStackCopy> stack = CopyStack(context.Esp);
    if (!stack) return std::make_unique<TGoneStackWalk>();
    TStackSnapshot snapshot;
    snapshot.StackAddress = stack->Low;
    snapshot.Stack = std::move(stack->Bytes);
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
