#include "crashreport/report/CpuContext_win32.h"

namespace qr {

void SetFailureContext(TFailure& failure, const CONTEXT& c) {
    failure.HasContext = true;
    const auto* bytes = reinterpret_cast<const unsigned char*>(&c);
    failure.Context.assign(bytes, bytes + sizeof c);
#if defined(_WIN64)
    failure.Registers = {{"rax", c.Rax}, {"rbx", c.Rbx}, {"rcx", c.Rcx}, {"rdx", c.Rdx}, {"rsi", c.Rsi},
                         {"rdi", c.Rdi}, {"rip", c.Rip}, {"rsp", c.Rsp}, {"rbp", c.Rbp}, {"r8", c.R8},
                         {"r9", c.R9},   {"r10", c.R10}, {"r11", c.R11}, {"r12", c.R12}, {"r13", c.R13},
                         {"r14", c.R14}, {"r15", c.R15}};
    failure.StackPointer = c.Rsp;
#else
    failure.Registers = {{"eax", c.Eax}, {"ebx", c.Ebx}, {"ecx", c.Ecx}, {"edx", c.Edx}, {"esi", c.Esi},
                         {"edi", c.Edi}, {"eip", c.Eip}, {"esp", c.Esp}, {"ebp", c.Ebp}};
    failure.StackPointer = c.Esp;
#endif
}

}  // namespace qr
