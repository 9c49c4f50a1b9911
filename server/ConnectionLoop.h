#pragma once
// The connection loop that the server's OnExecute handler runs on each
// connection thread: read, frame, close after "quit", hand the messages of
// each receive to the main thread and wait. It never returns normally; it ends by raising
// the error that ended the connection.
#include <functional>
#include <span>

#include "base/Text.h"
#include "server/IdTCPConnection.h"

namespace qr {

// Called on the connection thread with the messages framed so far, in
// their order; returns when the main thread has processed all of them.
using THandOff = std::function<void(std::span<const UString>)>;

[[noreturn]] void RunConnectionLoop(TIdTCPConnection& connection, const THandOff& handOff);

}  // namespace qr
