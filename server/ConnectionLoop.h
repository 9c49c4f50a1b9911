#pragma once
// The connection loop that the server's OnExecute handler runs on each
// connection thread: read, frame, close after "quit", hand each message to
// the main thread and wait. It never returns normally; it ends by raising
// the error that ended the connection.
#include <functional>

#include "base/Text.h"
#include "server/IdTCPConnection.h"

namespace qr {

// Called on the connection thread with each message; returns when the main
// thread has processed it.
using THandOff = std::function<void(const UString&)>;

[[noreturn]] void RunConnectionLoop(TIdTCPConnection& connection, const THandOff& handOff);

}  // namespace qr
