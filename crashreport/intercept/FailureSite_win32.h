#pragma once
// What an interception point knows of a failure, and the record that the
// failing thread hands to the handler thread.
#include <windows.h>

#include <cstdint>
#include <exception>
#include <typeinfo>

namespace qr {

// Where a failure was caught.
enum class TInterceptionPoint : uint8_t {
    MainLoop,              // an error that escaped a window or message handler
    ShowException,         // an error handed to the application for display
    RuntimeShowException,  // the runtime's last-chance display
    SynchronizedCall,      // a hand-off run on the main thread for another thread
    RuntimeError,          // std::terminate, pure virtual calls, invalid parameters
    OutermostFrame,        // nothing caught it: the thread's or the program's last frame
    ThreadStart,           // it escaped the start routine of a thread
    ThreadExecute,         // it escaped a thread object's Execute
    PackageInit,
};

enum class TExceptionKind : uint8_t { Normal, Freeze };

struct TFailureSite {
    TInterceptionPoint Point = TInterceptionPoint::MainLoop;
    bool CanContinue = true;
    // A C++ error: its object when it is a std::exception, else its type.
    // Both stay valid while the report is made (the reporting catch block
    // holds the object).
    const std::exception* Object = nullptr;
    const std::type_info* Type = nullptr;
    // A processor or system exception.
    const EXCEPTION_RECORD* SystemRecord = nullptr;
    const CONTEXT* Context = nullptr;
    void* Address = nullptr;            // missing: taken from the throw note
    const char* RuntimeText = nullptr;  // run-time errors: the runtime's text
    // The call stack noted at the throw (return addresses); none: walked.
    void* const* PreparedStack = nullptr;
    unsigned PreparedFrames = 0;
    void* RelatedObject = nullptr;
};

// Written by the failing thread into the handler thread's pipe as one
// block. Plain data only: the failing thread may not allocate. An event
// handle of 0 stops the handler thread.
struct TExceptRequestRec {
    uint32_t Event;
    uint32_t ThreadId;
    TExceptionKind Kind;
    const TFailureSite* Site;  // the exception object, type and texts
    void* ExceptAddress;
    uint8_t CanContinue;
    uintptr_t StackPointer;
    uintptr_t FramePointer;
    const CONTEXT* Context;
    void* ReportText;  // unused here: nobody asks for the text back
    TInterceptionPoint Point;
    void* RelatedObject;
    uint32_t PackageHandle;
    void* PreparedStack;
};

}  // namespace qr
