#include <pthread.h>

#include <thread>

#include "server/IdThreadSupport.h"

namespace qr {

// The kernel keeps at most 15 bytes of a thread name.
void AnnounceThreadName(const std::string& name) {
    pthread_setname_np(pthread_self(), name.substr(0, 15).c_str());
}

// Raising a thread above normal priority needs privileges here that the
// program does not have; listeners run at normal priority.
void SetCurrentThreadPriorityHighest() {}

void StartDetachedThread(std::function<void()> body, size_t) { std::thread(std::move(body)).detach(); }

}  // namespace qr
