#pragma once
// TMessageFramer cuts one connection's byte stream into messages: every
// 0x0C byte ends a message (a lone 0x0C is the empty message), and bytes
// after the last 0x0C wait for more input. After a "quit" message nothing
// more is framed. A message that grows past MaxMessageSize bytes without
// its 0x0C is discarded and nothing more is framed either: the connection
// is to be closed.
#include <cstddef>
#include <deque>
#include <string>
#include <string_view>

#include "base/Text.h"

namespace qr {

struct TFramedMessage {
    // The text handed to the main thread: the bytes through the ANSI code
    // page to text, back to bytes, and to text again.
    UString Text;
    bool IsQuit = false;
};

class TMessageFramer {
public:
    static constexpr size_t MaxMessageSize = 1048576;

    // Adds received bytes; complete messages become available at once.
    void Feed(std::string_view bytes);
    bool HasMessage() const { return !FReady.empty(); }
    TFramedMessage TakeMessage();

    // "quit" has been framed: everything after it is discarded.
    bool QuitSeen() const { return FQuitSeen; }
    // A message exceeded the bound: its bytes and everything after them are
    // discarded.
    bool Overflowed() const { return FOverflowed; }
    // Bytes of the unfinished message.
    size_t PendingBytes() const { return FPartial.size(); }
    // What the unfinished message's buffer holds on to between messages: a
    // large message's room is given back once it is complete, so an idle
    // connection costs little whatever it sent before.
    size_t BufferCapacity() const { return FPartial.capacity(); }
    static constexpr size_t KeptCapacity = 64 * 1024;

private:
    void Collect(std::string_view piece);
    void Complete(std::string_view tail);

    std::string FPartial;
    std::deque<TFramedMessage> FReady;
    bool FQuitSeen = false;
    bool FOverflowed = false;
};

}  // namespace qr
