// Processor faults thrown as C++ errors from the faulting instruction.
//
// Why it is shaped this way:
//
// - mingw's catch (...) never sees a processor exception, so without this
//   an access violation passes every handler of the program and ends in
//   the unhandled-exception filter: the thread's cleanup never runs. The
//   program's code is compiled with -fnon-call-exceptions (CMakeLists.txt),
//   which gives every trapping instruction a call-site entry and exact
//   unwind rows; a vectored handler then makes the fault look like a call
//   that threw: the context is redirected to a stub whose return address is
//   the faulting address plus one (the runtime looks the call site up at
//   the return address minus one, which is the faulting instruction). The
//   stub calls the thrower, which throws the error class that belongs to
//   the exception code; the ordinary unwinding then runs destructors and
//   reaches the catch of the place the fault happened.
// - The vectored handler writes nothing on the stack (the dispatcher's own
//   records lie just below the faulting stack pointer): the return address
//   travels in a register and the stub's first instruction pushes it. The
//   stub keeps a frame pointer, so it can align the stack for the call
//   whatever the stack pointer was at the fault, and the unwinder still
//   finds the fault's frame exactly where it was.
// - What the fault left (record, registers) goes into a fixed slot of a
//   static table, taken by the faulting thread with one atomic exchange:
//   no allocation in the handler. The thrower copies it into the error
//   object, which the report reads (exception address, registers, the
//   call stack captured before the unwinding destroyed it).
// - Which faults are thrown at once: those whose first frame with an
//   exception handler, walking out from the fault, belongs to the program
//   itself. Code in between may be ours or foreign (a system DLL, a
//   driver's or a mail program's DLL, a plug-in): a fault there reaches the
//   program's catch like one in its own code. Where a foreign handler comes
//   first (system code that guards its own probing of memory) the fault is
//   left to it; if that handler does not take it either, the unhandled-
//   exception filter throws it from its site after all (ThrowUnhandledFault).
//   Where nothing can be unwound the filter reports it as the outermost
//   frame, as before; an error that no catch takes ends in the crash
//   reporter's terminate handler, which reports it as the outermost frame
//   (or thread start) too.
// - x86-64 unwinds through the system's unwind tables (SEH): a fault in a
//   prologue or in code without unwind data (a leaf, a call through a bad
//   pointer) is thrown from the call that entered that function instead,
//   since the unwinder reads prologue state by offset and "plus one" would
//   be wrong there. x86 unwinds with DWARF through libgcc's tables, which
//   know only this program's code: there only a fault at an address with a
//   frame description entry of the program is thrown, or a call from such
//   code to where no code is (EnteredNowhereFrom); one in foreign code
//   takes the unhandled-exception filter's path (reported, the thread ends).
// - Stack overflow: the guarantee set for every thread at its start (64
//   KiB, Interception_win32.cpp) is the room the handler, the stub and the
//   unwinding run in below the removed guard page. Windows commits a stack
//   as it grows, with a guard page below the committed part, and raises the
//   overflow when the guard page reaches the guaranteed room. Wine 8
//   commits the whole stack with one guard page at its very bottom, where
//   there is no room left to raise anything, and ends the thread silently;
//   ArmStackGuard therefore puts a guard page just above the guaranteed
//   room when that page is already committed (on Windows it is only
//   reserved there, and nothing changes). Once a catch has taken the
//   overflow, RearmStackGuard puts the guard page back so that the next
//   overflow on that thread is caught as well.
// - Debug and guard-page exceptions, breakpoints and the C++ runtime's own
//   exceptions are never touched.
#include "crashreport/intercept/ProcessorFaults_win32.h"

#include <malloc.h>

#include <atomic>

#include "base/Text.h"
#include "base/win32/WideText.h"
#include "crashreport/system/ModuleFiles_win32.h"
#include "crashreport/intercept/DwarfStack_win32.h"
#include "crashreport/intercept/SystemFailureText.h"

extern "C" void qrFaultEntry();
extern "C" [[noreturn]] void qrThrowProcessorFault(uintptr_t slot);

#if defined(__x86_64__)
// Entered with r11 = the return address the throw appears to come from,
// rcx = the slot; everything from qrFaultRaise on has unwind data.
asm(R"(
    .text
    .p2align 4
    .globl qrFaultEntry
    .def qrFaultEntry; .scl 2; .type 32; .endef
qrFaultEntry:
    pushq %r11
    .def qrFaultRaise; .scl 3; .type 32; .endef
    .seh_proc qrFaultRaise
qrFaultRaise:
    pushq %rbp
    .seh_pushreg %rbp
    movq %rsp, %rbp
    .seh_setframe %rbp, 0
    .seh_endprologue
    andq $-16, %rsp
    subq $32, %rsp
    call qrThrowProcessorFault
    int3
    .seh_endproc
)");
#else
// Entered with edx = the return address, ecx = the slot.
asm(R"(
    .text
    .p2align 4
    .globl _qrFaultEntry
_qrFaultEntry:
    pushl %edx
_qrFaultRaise:
    .cfi_startproc
    pushl %ebp
    .cfi_def_cfa_offset 8
    .cfi_offset %ebp, -8
    movl %esp, %ebp
    .cfi_def_cfa_register %ebp
    andl $-16, %esp
    subl $12, %esp
    pushl %ecx
    call _qrThrowProcessorFault
    int3
    .cfi_endproc
)");
struct TDwarfBases {
    void* TextBase;
    void* DataBase;
    void* Function;
};
extern "C" const void* _Unwind_Find_FDE(void* pc, TDwarfBases* bases);
#endif

namespace qr {

namespace {

constexpr uint32_t kFaultCodes[] = {
    EXCEPTION_ACCESS_VIOLATION,
    EXCEPTION_IN_PAGE_ERROR,
    EXCEPTION_STACK_OVERFLOW,
    EXCEPTION_PRIV_INSTRUCTION,
    EXCEPTION_ILLEGAL_INSTRUCTION,
    EXCEPTION_INT_DIVIDE_BY_ZERO,
    EXCEPTION_INT_OVERFLOW,
    EXCEPTION_ARRAY_BOUNDS_EXCEEDED,
    EXCEPTION_FLT_DENORMAL_OPERAND,
    EXCEPTION_FLT_DIVIDE_BY_ZERO,
    EXCEPTION_FLT_INEXACT_RESULT,
    EXCEPTION_FLT_INVALID_OPERATION,
    EXCEPTION_FLT_OVERFLOW,
    EXCEPTION_FLT_STACK_CHECK,
    EXCEPTION_FLT_UNDERFLOW,
    0xC00002B4 /* multiple faults */,
    0xC00002B5 /* multiple traps (SSE) */,
};

bool IsProcessorFault(uint32_t code) {
    for (uint32_t known : kFaultCodes)
        if (known == code) return true;
    return false;
}

// One slot per thread that is between its fault and its throw.
struct TFaultSlot {
    std::atomic<DWORD> Owner{0};
    TProcessorFault Fault;
};
constexpr int kSlots = 16;
TFaultSlot gSlots[kSlots];
PVOID gHandler = nullptr;

// -1: none free, or this thread faulted again before its throw (the stub
// or the thrower itself failed): that fault is not thrown.
int ClaimSlot() {
    const DWORD self = GetCurrentThreadId();
    for (TFaultSlot& slot : gSlots)
        if (slot.Owner.load() == self) return -1;
    for (int i = 0; i < kSlots; ++i) {
        DWORD free = 0;
        if (gSlots[i].Owner.compare_exchange_strong(free, self)) return i;
    }
    return -1;
}

HMODULE ModuleAt(const void* address) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            static_cast<LPCWSTR>(address), &module))
        return nullptr;
    return module;
}

#if defined(__x86_64__)

// This thread's information block (its self pointer at gs:0x30).
const NT_TIB* ThreadBlock() {
    const NT_TIB* tib = nullptr;
    asm("movq %%gs:0x30, %0" : "=r"(tib));
    return tib;
}

struct TStackBounds {
    DWORD64 Low, High;
    explicit TStackBounds() {
        const NT_TIB* tib = ThreadBlock();
        Low = reinterpret_cast<DWORD64>(tib->StackLimit);
        High = reinterpret_cast<DWORD64>(tib->StackBase);
    }
    bool Holds(DWORD64 sp) const { return sp >= Low && sp + 8 <= High; }
};

// One frame out. `handler`: the frame's language handler, when asked for.
bool StepOut(CONTEXT& context, const TStackBounds& stack, PEXCEPTION_ROUTINE* handler = nullptr) {
    DWORD64 base = 0;
    PRUNTIME_FUNCTION entry = RtlLookupFunctionEntry(context.Rip, &base, nullptr);
    if (handler) *handler = nullptr;
    if (entry) {
        void* data = nullptr;
        DWORD64 establisher = 0;
        PEXCEPTION_ROUTINE found =
            RtlVirtualUnwind(handler ? UNW_FLAG_EHANDLER : UNW_FLAG_NHANDLER, base, context.Rip, entry,
                             &context, &data, &establisher, nullptr);
        if (handler) *handler = found;
    } else {
        // No unwind data: a leaf, its return address on top.
        if (!stack.Holds(context.Rsp)) return false;
        context.Rip = *reinterpret_cast<const DWORD64*>(context.Rsp);
        context.Rsp += 8;
    }
    return context.Rip != 0 && stack.Holds(context.Rsp);
}

bool InPrologue(const RUNTIME_FUNCTION& entry, DWORD64 base, DWORD64 pc) {
    const auto* info = reinterpret_cast<const uint8_t*>(base + entry.UnwindData);
    return pc - (base + entry.BeginAddress) < info[1];
}

// Walking out from the fault, the first frame with a handler is the
// program's: nothing foreign wants a say first.
bool ProgramHandlerComesFirst(const CONTEXT& fault) {
    const TStackBounds stack;
    const HMODULE program = GetModuleHandleW(nullptr);
    // Handlers the system keeps in the thread's frame list (Wine's own
    // guarded regions) count as foreign ones too.
    const auto listed = reinterpret_cast<DWORD64>(ThreadBlock()->ExceptionList);
    CONTEXT context = fault;
    for (int depth = 0; depth < 256; ++depth) {
        PEXCEPTION_ROUTINE handler = nullptr;
        if (!StepOut(context, stack, &handler)) return false;
        if (listed && listed != DWORD64(-1) && listed > fault.Rsp && listed < context.Rsp) return false;
        if (handler) return ModuleAt(reinterpret_cast<void*>(handler)) == program;
    }
    return false;
}

// Where the throw appears to come from: `context` becomes that frame's
// registers, `returnAddress` the stub's return address.
bool ThrowSite(CONTEXT& context, uintptr_t& returnAddress) {
    DWORD64 base = 0;
    PRUNTIME_FUNCTION entry = RtlLookupFunctionEntry(context.Rip, &base, nullptr);
    if (entry && !InPrologue(*entry, base, context.Rip)) {
        returnAddress = context.Rip + 1;
        return true;
    }
    // From the call that entered the faulting function.
    if (!StepOut(context, TStackBounds())) return false;
    returnAddress = context.Rip;
    return RtlLookupFunctionEntry(context.Rip, &base, nullptr) != nullptr;
}

void Redirect(CONTEXT& context, const CONTEXT& site, uintptr_t returnAddress, int slot) {
    const DWORD flags = context.ContextFlags;
    context = site;
    context.ContextFlags = flags;
    context.R11 = returnAddress;
    context.Rcx = static_cast<DWORD64>(slot);
    context.Rip = reinterpret_cast<DWORD64>(&qrFaultEntry);
    context.EFlags &= ~0x400u;  // the direction flag, as a call expects it
}

#else

bool HasDwarfRows(uintptr_t address) {
    TDwarfBases bases{};
    return _Unwind_Find_FDE(reinterpret_cast<void*>(address), &bases) != nullptr;
}

// A call to an address where no code is (a null or stale function
// pointer) faults before the callee has done anything: its return address
// is on top of the stack, and every other register is still the caller's.
// Such a fault is thrown from that call when the caller is the program's.
bool EnteredNowhereFrom(const CONTEXT& fault, uintptr_t& returnAddress) {
    MEMORY_BASIC_INFORMATION code{};
    constexpr DWORD kExecutable =
        PAGE_EXECUTE | PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
    if (VirtualQuery(reinterpret_cast<void*>(fault.Eip), &code, sizeof code) && code.State == MEM_COMMIT &&
        (code.Protect & kExecutable) && !(code.Protect & PAGE_GUARD))
        return false;
    MEMORY_BASIC_INFORMATION stack{};
    if (!VirtualQuery(reinterpret_cast<void*>(fault.Esp), &stack, sizeof stack) ||
        stack.State != MEM_COMMIT || (stack.Protect & (PAGE_GUARD | PAGE_NOACCESS)) ||
        fault.Esp + 4 > reinterpret_cast<uintptr_t>(stack.BaseAddress) + stack.RegionSize)
        return false;
    returnAddress = *reinterpret_cast<const DWORD*>(fault.Esp);
    return HasDwarfRows(returnAddress - 1);
}

bool ProgramHandlerComesFirst(const CONTEXT& fault) {
    uintptr_t caller = 0;
    return HasDwarfRows(fault.Eip) || EnteredNowhereFrom(fault, caller);
}

bool ThrowSite(CONTEXT& context, uintptr_t& returnAddress) {
    // DWARF rows are exact at every instruction, prologues included.
    if (HasDwarfRows(context.Eip)) {
        returnAddress = context.Eip + 1;
        return true;
    }
    if (!EnteredNowhereFrom(context, returnAddress)) return false;
    context.Esp += 4;
    return true;
}

void Redirect(CONTEXT& context, const CONTEXT& site, uintptr_t returnAddress, int slot) {
    const DWORD flags = context.ContextFlags;
    context = site;
    context.ContextFlags = flags;
    context.Edx = returnAddress;
    context.Ecx = static_cast<DWORD>(slot);
    context.Eip = reinterpret_cast<DWORD>(&qrFaultEntry);
    context.EFlags &= ~0x400u;
}

#endif

bool ThrowFromSite(const EXCEPTION_RECORD& record, CONTEXT& context) {
    if (!IsProcessorFault(record.ExceptionCode) || (record.ExceptionFlags & EXCEPTION_NONCONTINUABLE))
        return false;
    const int slot = ClaimSlot();
    if (slot < 0) return false;
    CONTEXT site = context;
    uintptr_t returnAddress = 0;
    if (!ThrowSite(site, returnAddress)) {
        gSlots[slot].Owner.store(0);
        return false;
    }
    TProcessorFault& fault = gSlots[slot].Fault;
    fault.Code = record.ExceptionCode;
    fault.Address = record.ExceptionAddress;
    fault.HasAccessInfo = record.ExceptionCode == EXCEPTION_ACCESS_VIOLATION && record.NumberParameters >= 2;
    fault.Write = fault.HasAccessInfo && record.ExceptionInformation[0] != 0;
    fault.AccessAddress = fault.HasAccessInfo ? record.ExceptionInformation[1] : 0;
    fault.Context = context;
    fault.FrameCount = 0;
    Redirect(context, site, returnAddress, slot);
    return true;
}

LONG CALLBACK OnFault(EXCEPTION_POINTERS* info) {
    if (!info || !info->ExceptionRecord || !info->ContextRecord) return EXCEPTION_CONTINUE_SEARCH;
    if (!IsProcessorFault(info->ExceptionRecord->ExceptionCode)) return EXCEPTION_CONTINUE_SEARCH;
    if (!ProgramHandlerComesFirst(*info->ContextRecord)) return EXCEPTION_CONTINUE_SEARCH;
    return ThrowFromSite(*info->ExceptionRecord, *info->ContextRecord) ? EXCEPTION_CONTINUE_EXECUTION
                                                                       : EXCEPTION_CONTINUE_SEARCH;
}

template <class TError>
[[noreturn]] void Throw(const TFailureText& text, const TProcessorFault& fault) {
    throw TError(text.Message, fault);
}

[[noreturn]] void ThrowError(const TProcessorFault& fault) {
    TSystemFailure system;
    system.Code = fault.Code;
    system.Address = reinterpret_cast<uintptr_t>(fault.Address);
    if (HMODULE module = ModuleAt(fault.Address))
        system.ModuleFileName = UnicodeToUtf8(win32::FromWide(ModuleFileName(module).c_str()));
    system.HasAccessInfo = fault.HasAccessInfo;
    system.Write = fault.Write;
    system.AccessAddress = fault.AccessAddress;
    system.AddressDigits = sizeof(void*) * 2;
    const TFailureText text = SystemFailureText(system);
    switch (fault.Code) {
        case EXCEPTION_ACCESS_VIOLATION:
            Throw<EAccessViolation>(text, fault);
        case EXCEPTION_IN_PAGE_ERROR:
            Throw<EInPageError>(text, fault);
        case EXCEPTION_STACK_OVERFLOW:
            Throw<EStackOverflow>(text, fault);
        case EXCEPTION_PRIV_INSTRUCTION:
            Throw<EPrivilege>(text, fault);
        case EXCEPTION_ILLEGAL_INSTRUCTION:
            Throw<EIllegalInstruction>(text, fault);
        case EXCEPTION_INT_DIVIDE_BY_ZERO:
            Throw<EDivByZero>(text, fault);
        case EXCEPTION_INT_OVERFLOW:
            Throw<EIntOverflow>(text, fault);
        case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
            Throw<ERangeError>(text, fault);
        case EXCEPTION_FLT_DIVIDE_BY_ZERO:
            Throw<EZeroDivide>(text, fault);
        case EXCEPTION_FLT_OVERFLOW:
            Throw<EOverflow>(text, fault);
        case EXCEPTION_FLT_UNDERFLOW:
            Throw<EUnderflow>(text, fault);
        default:
            Throw<EInvalidOp>(text, fault);
    }
}

}  // namespace

void InstallProcessorFaults() {
    if (!gHandler) gHandler = AddVectoredExceptionHandler(1, &OnFault);
}

void RemoveProcessorFaults() {
    if (gHandler) RemoveVectoredExceptionHandler(gHandler);
    gHandler = nullptr;
}

bool ThrowUnhandledFault(EXCEPTION_POINTERS& info) {
    if (!gHandler || !info.ExceptionRecord || !info.ContextRecord) return false;
    return ThrowFromSite(*info.ExceptionRecord, *info.ContextRecord);
}

void ArmStackGuard(unsigned long room) {
    MEMORY_BASIC_INFORMATION stack{};
    if (!VirtualQuery(&stack, &stack, sizeof stack)) return;
    SYSTEM_INFO system{};
    GetSystemInfo(&system);
    const uintptr_t page = system.dwPageSize;
    const uintptr_t bottom = reinterpret_cast<uintptr_t>(stack.AllocationBase);
    // The bottom page, the guaranteed room, one page to spare.
    const uintptr_t guard = bottom + page + (room + page - 1) / page * page + page;
    const auto here = reinterpret_cast<uintptr_t>(&stack);
    if (here < guard + 16 * page) return;
    MEMORY_BASIC_INFORMATION at{};
    if (!VirtualQuery(reinterpret_cast<void*>(guard), &at, sizeof at)) return;
    if (at.State != MEM_COMMIT || (at.Protect & (PAGE_GUARD | PAGE_NOACCESS))) return;
    DWORD old = 0;
    VirtualProtect(reinterpret_cast<void*>(guard), page, PAGE_READWRITE | PAGE_GUARD, &old);
}

void RearmStackGuard(const TProcessorFault& overflow) {
#if defined(__x86_64__)
    const uintptr_t faultSp = overflow.Context.Rsp;
#else
    const uintptr_t faultSp = overflow.Context.Esp;
#endif
    // Still deep down (the terminate handler reports on the overflowed
    // stack): a guard page here would only fault again at once.
    const auto here = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
    if (here > faultSp + 256 * 1024) _resetstkoflw();
}

}  // namespace qr

// Called by the stub, on the faulting thread's stack, as if from the
// faulting instruction.
extern "C" __attribute__((used, noinline)) void qrThrowProcessorFault(uintptr_t slot) {
    using namespace qr;
    TProcessorFault fault = gSlots[slot].Fault;
    gSlots[slot].Owner.store(0);
    // This function and the stub left out: the first is the fault's.
#if defined(__x86_64__)
    fault.FrameCount = RtlCaptureStackBackTrace(2, TProcessorFault::kMaxFrames, fault.Frames, nullptr);
#else
    fault.FrameCount = CaptureDwarfStack(2, fault.Frames, TProcessorFault::kMaxFrames);
#endif
    ThrowError(fault);
}
