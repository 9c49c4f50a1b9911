#pragma once
// Processor and system exceptions (access violation, division by zero,
// stack overflow, ...) as errors of the program's own kind: thrown as an
// object of a named class from the instruction that faulted, so that the
// ordinary try/catch of the place it happened handles them. How and why:
// ProcessorFaults_win32.cpp.
#include <windows.h>

#include <cstdint>
#include <string>

#include "base/Exception.h"

namespace qr {

// What the fault left: its code and place, the processor state there and
// the call stack before the unwinding to the catch destroyed it.
struct TProcessorFault {
    uint32_t Code = 0;
    void* Address = nullptr;  // the faulting instruction
    bool HasAccessInfo = false;
    bool Write = false;  // access violations: a write (else a read)
    uintptr_t AccessAddress = 0;
    CONTEXT Context;
    // Return addresses, the first one standing for the faulting instruction.
    static constexpr int kMaxFrames = 62;
    void* Frames[kMaxFrames];
    unsigned FrameCount = 0;
};

// The base of every processor or system exception turned into an error.
class EExternal : public Exception {
public:
    EExternal(std::string message, const TProcessorFault& fault)
        : Exception(std::move(message)), FFault(fault) {}
    const char* ClassName() const noexcept override { return "EExternal"; }
    void ClassChain(std::vector<const char*>& chain) const override {
        chain.push_back("EExternal");
        Exception::ClassChain(chain);
    }
    const TProcessorFault& Fault() const noexcept { return FFault; }

private:
    TProcessorFault FFault;
};

QR_DECLARE_EXCEPTION(EAccessViolation, EExternal);
QR_DECLARE_EXCEPTION(EInPageError, EExternal);
QR_DECLARE_EXCEPTION(EStackOverflow, EExternal);
QR_DECLARE_EXCEPTION(EPrivilege, EExternal);
QR_DECLARE_EXCEPTION(EIllegalInstruction, EExternal);
QR_DECLARE_EXCEPTION(EIntError, EExternal);
QR_DECLARE_EXCEPTION(EDivByZero, EIntError);
QR_DECLARE_EXCEPTION(EIntOverflow, EIntError);
QR_DECLARE_EXCEPTION(ERangeError, EIntError);
QR_DECLARE_EXCEPTION(EMathError, EExternal);
QR_DECLARE_EXCEPTION(EInvalidOp, EMathError);
QR_DECLARE_EXCEPTION(EZeroDivide, EMathError);
QR_DECLARE_EXCEPTION(EOverflow, EMathError);
QR_DECLARE_EXCEPTION(EUnderflow, EMathError);

// Installs the vectored handler that turns faults inside code reached
// from the program's own C++ frames into throws; removes it.
void InstallProcessorFaults();
void RemoveProcessorFaults();

// The unhandled-exception filter's last chance: a fault that no handler
// took is still thrown from its site when that can be unwound. True: the
// context now throws (continue execution with it).
bool ThrowUnhandledFault(EXCEPTION_POINTERS& info);

// On the thread's own stack, at its start: makes sure that an overflow is
// raised while `room` bytes of stack are left to handle it (see the .cpp).
void ArmStackGuard(unsigned long room);

// After a stack overflow was caught: once the stack has been unwound well
// above the fault, puts the guard page back, so that the next overflow on
// this thread is caught too.
void RearmStackGuard(const TProcessorFault& overflow);

}  // namespace qr
