#pragma once
// The interception points this program's runtime offers: the unhandled-
// exception filter (processor and system exceptions nothing caught, in any
// thread), std::terminate (C++ errors that escaped a thread, run-time
// errors), pure virtual calls, the runtime's invalid-parameter reports,
// the debugger's thread-naming exception, and the per-thread start and end
// notifications that register threads.
namespace qr {

class TCrashReporter;

void InstallInterception(TCrashReporter& reporter);
void RemoveInterception();

}  // namespace qr
