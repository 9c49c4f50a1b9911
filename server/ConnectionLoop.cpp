#include "server/ConnectionLoop.h"

#include <utility>
#include <vector>

#include "server/MessageFramer.h"

namespace qr {

void RunConnectionLoop(TIdTCPConnection& connection, const THandOff& handOff) {
    TMessageFramer framer;
    TIdBytes data;
    std::vector<UString> batch;
    for (;;) {
        while (!framer.HasMessage()) {
            // Too long a message: the connection is closed, so the read
            // below fails and ends it; nothing of the message is delivered.
            if (framer.Overflowed()) connection.CloseConnection(false);
            data.clear();
            connection.ReadAvailable(data);
            framer.Feed(data);
        }
        // Everything one receive completed goes at once, and the thread
        // reads on only when all of it is written. A "quit" goes alone,
        // after the messages before it, once the connection is closed.
        batch.clear();
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
}

}  // namespace qr
