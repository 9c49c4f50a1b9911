#include "server/ConnectionLoop.h"

#include "server/MessageFramer.h"

namespace qr {

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
        TFramedMessage message = framer.TakeMessage();
        // The client gets no answer: its connection is closed, and its
        // "quit" still reaches the main thread unless the closing probe
        // found the connection broken.
        if (message.IsQuit) connection.CloseConnection(true);
        handOff(message.Text);
    }
}

}  // namespace qr
