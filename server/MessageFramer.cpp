#include "server/MessageFramer.h"

#include "server/QuitCommand.h"

namespace qr {

namespace {
constexpr char kMessageEnd = '\x0C';
}

void TMessageFramer::Feed(std::string_view bytes) {
    while (!FQuitSeen && !FOverflowed) {
        size_t end = bytes.find(kMessageEnd);
        std::string_view piece = bytes.substr(0, end);
        if (FPartial.size() + piece.size() > MaxMessageSize) {
            // A client could otherwise make the buffer grow until memory
            // runs out.
            FOverflowed = true;
            FPartial.clear();
            FPartial.shrink_to_fit();
            return;
        }
        if (end == std::string_view::npos) {
            Collect(piece);
            return;
        }
        Complete(piece);
        bytes.remove_prefix(end + 1);
    }
}

void TMessageFramer::Collect(std::string_view piece) {
    size_t needed = FPartial.size() + piece.size();
    // A message outgrowing the kept room gets room for the largest one at
    // once: one block, which the allocators take from and give back to the
    // system whole, instead of a row of ever larger ones that stay in their
    // heaps once freed.
    if (needed > FPartial.capacity() && needed > KeptCapacity) FPartial.reserve(MaxMessageSize);
    FPartial.append(piece);
}

void TMessageFramer::Complete(std::string_view tail) {
    Collect(tail);
    TFramedMessage m;
    AnsiString bytes = UnicodeToAnsi(AnsiToUnicode(FPartial));
    m.Text = AnsiToUnicode(bytes);
    m.IsQuit = IsQuitCommand(m.Text);
    if (FPartial.capacity() > KeptCapacity)
        std::string().swap(FPartial);
    else
        FPartial.clear();
    if (m.IsQuit) FQuitSeen = true;
    FReady.push_back(std::move(m));
}

TFramedMessage TMessageFramer::TakeMessage() {
    TFramedMessage m = std::move(FReady.front());
    FReady.pop_front();
    return m;
}

}  // namespace qr
