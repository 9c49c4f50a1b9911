#pragma once
// Error objects shared by every subsystem. Each error class carries one
// message text; subsystems derive their own named classes from these.
#include <exception>
#include <string>

namespace qr {

class Exception : public std::exception {
public:
    explicit Exception(std::string message) : FMessage(std::move(message)) {}
    // Message text as UTF-8.
    const std::string& Message() const noexcept { return FMessage; }
    const char* what() const noexcept override { return FMessage.c_str(); }
    virtual const char* ClassName() const noexcept { return "Exception"; }

private:
    std::string FMessage;
};

// Declares an error class named NAME derived from BASE that reports its own
// class name (the crash reporter prints it).
#define QR_DECLARE_EXCEPTION(NAME, BASE)                                  \
    class NAME : public BASE {                                            \
    public:                                                               \
        using BASE::BASE;                                                 \
        const char* ClassName() const noexcept override { return #NAME; } \
    }

QR_DECLARE_EXCEPTION(EStreamError, Exception);
QR_DECLARE_EXCEPTION(EReadError, EStreamError);
QR_DECLARE_EXCEPTION(EListError, Exception);
QR_DECLARE_EXCEPTION(EPropertyError, Exception);

}  // namespace qr
