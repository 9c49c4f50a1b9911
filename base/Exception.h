#pragma once
// Error objects shared by every subsystem. Each error class carries one
// message text; subsystems derive their own named classes from these.
#include <exception>
#include <string>
#include <vector>

namespace qr {

class Exception : public std::exception {
public:
    explicit Exception(std::string message) : FMessage(std::move(message)) {}
    // Message text as UTF-8.
    const std::string& Message() const noexcept { return FMessage; }
    const char* what() const noexcept override { return FMessage.c_str(); }
    virtual const char* ClassName() const noexcept { return "Exception"; }
    // The class and its ancestors, the class first: the crash reporter's
    // filters match any of them.
    virtual void ClassChain(std::vector<const char*>& chain) const { chain.push_back("Exception"); }

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
        void ClassChain(std::vector<const char*>& chain) const override { \
            chain.push_back(#NAME);                                       \
            BASE::ClassChain(chain);                                      \
        }                                                                 \
    }

QR_DECLARE_EXCEPTION(EStreamError, Exception);
QR_DECLARE_EXCEPTION(EReadError, EStreamError);
QR_DECLARE_EXCEPTION(EListError, Exception);
QR_DECLARE_EXCEPTION(EPropertyError, Exception);
// The silent error: it ends an operation without anybody being told, so the
// crash reporter never reports it.
QR_DECLARE_EXCEPTION(EAbort, Exception);
// A rejected input of a data-entry field: the crash reporter only shows its
// message in a plain box.
QR_DECLARE_EXCEPTION(EDBEditError, Exception);

}  // namespace qr
