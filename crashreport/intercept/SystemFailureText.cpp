#include "crashreport/intercept/SystemFailureText.h"

#include <cstdio>

namespace qr {

namespace {

AnsiString Hex(uint64_t value, int digits) {
    char text[32];
    std::snprintf(text, sizeof text, "%0*llX", digits, static_cast<unsigned long long>(value));
    return text;
}

AnsiString BaseName(const AnsiString& path) {
    size_t slash = path.find_last_of("\\/");
    return slash == AnsiString::npos ? path : path.substr(slash + 1);
}

struct TKnownCode {
    uint32_t Code;
    const char* ClassName;
    const char* Message;
};

const TKnownCode kKnownCodes[] = {
    {0xC0000094, "EDivByZero", "Division by zero"},
    {0xC0000095, "EIntOverflow", "Integer overflow"},
    {0xC000008C, "ERangeError", "Range check error"},
    {0xC00000FD, "EStackOverflow", "Stack overflow"},
    {0xC0000096, "EPrivilege", "Privileged instruction"},
    {0xC000001D, "EIllegalInstruction", "Illegal instruction"},
    {0xC000008E, "EZeroDivide", "Floating point division by zero"},
    {0xC0000091, "EOverflow", "Floating point overflow"},
    {0xC0000093, "EUnderflow", "Floating point underflow"},
    {0xC0000090, "EInvalidOp", "Invalid floating point operation"},
    {0xC0000092, "EInvalidOp", "Invalid floating point operation"},
    {0xC000008D, "EInvalidOp", "Invalid floating point operation"},
    {0xC000008F, "EInvalidOp", "Invalid floating point operation"},
    {0x80000003, "EExternalException", "Breakpoint"},
    {0xC0000006, "EInPageError", "In-page error"},
    {0xC00002B4, "EInvalidOp", "Invalid floating point operation"},
    {0xC00002B5, "EInvalidOp", "Invalid floating point operation"},
};

}  // namespace

TFailureText SystemFailureText(const TSystemFailure& failure) {
    if (failure.Code == 0xC0000005) {
        if (failure.ModuleFileName.empty() || !failure.HasAccessInfo)
            return {"EAccessViolation", "Access Violation"};
        return {"EAccessViolation", "Access violation at address " +
                                        Hex(failure.Address, failure.AddressDigits) + " in module '" +
                                        BaseName(failure.ModuleFileName) + "'. " +
                                        (failure.Write ? "Write" : "Read") + " of address " +
                                        Hex(failure.AccessAddress, failure.AddressDigits)};
    }
    for (const TKnownCode& known : kKnownCodes)
        if (known.Code == failure.Code) return {known.ClassName, known.Message};
    return {"EExternalException", "External exception " + Hex(failure.Code, 1)};
}

TFailureText RuntimeErrorText(const char* text) {
    return {"ERuntimeError", text && *text ? AnsiString(text) : AnsiString("Runtime error")};
}

}  // namespace qr
