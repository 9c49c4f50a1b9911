#include "server/ConnectionLoop.h"

#include <utility>
#include <vector>

#include "server/MessageFramer.h"

namespace qr {

namespace {

// Everything one receive completed goes at once, and the thread reads on
// only when all of it is written. A "quit" goes alone, after the messages
// before it, once the connection is closed. The texts are released as soon
// as they are handed off: a connection that goes idle after a large message
// must not keep it.
void HandOffReady(TIdTCPConnection& connection, TMessageFramer& framer, const THandOff& handOff) {
    std::vector<UString> batch;
    while (framer.HasMessage()) {
        TFramedMessage message = framer.TakeMessage();
        if (!message.IsQuit) {
            batch.push_back(std::move(message.Text));
            continue;
        }
        if (!batch.empty()) handOff(batch);
        batch.clear();
        // The client gets no answer: its connection is closed, and its
        // "quit" still reaches the main thread unless the closing probe
        // found the connection broken.
        connection.CloseConnection(true);
        batch.push_back(std::move(message.Text));
    }
    handOff(batch);
}

}  // namespace

void RunConnectionLoop(TIdTCPConnection& connection, const THandOff& handOff) {
    TMessageFramer framer;
    TIdBytes data;
    for (;;) {
        while (!framer.HasMessage()) {
            // Too long a message: the connection is closed, so the read
            // below fails and ends it; nothing of the message is delivered.
            if (framer.Overflowed()) connection.CloseConnection(false);
            data.clear();
            connection.ReadAvailable(data);
            framer.Feed(data);
        }
        HandOffReady(connection, framer, handOff);
        // An idle connection keeps only a small buffer, whatever it received.
        if (data.capacity() > TIdIOHandlerStack::KeptInputCapacity) TIdBytes().swap(data);
    }
}

}  // namespace qr
