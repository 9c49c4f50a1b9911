// Random bytes in random segmentations through the connection framing.
// The messages must be exactly the pieces between 0x0C bytes, in order;
// nothing after a "quit" and nothing from or after a piece past the bound.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "base/Text.h"
#include "server/MessageFramer.h"

namespace {

bool IsQuit(const std::string& piece) {
    // The same 8-bit text compared without regard to ASCII letter case.
    return qr::SameText(piece, std::string_view("quit"));
}

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "framing invariant broken: %s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    // The stream: raw bytes from the input, now and then a long run of one
    // byte so that the 1 MiB bound is reached without huge inputs.
    std::string stream;
    while (in.remaining_bytes() > 0 && stream.size() < 3 * qr::TMessageFramer::MaxMessageSize) {
        if (in.ConsumeIntegralInRange<int>(0, 15) == 0) {
            size_t run = in.ConsumeIntegralInRange<size_t>(1, qr::TMessageFramer::MaxMessageSize + 16);
            char b = in.ConsumeIntegral<char>();
            stream.append(run, b);
        } else {
            stream += in.ConsumeRandomLengthString(64);
        }
    }

    // What must come out.
    std::vector<std::string> expected;
    bool expectStop = false;
    size_t start = 0;
    for (;;) {
        size_t ff = stream.find('\f', start);
        size_t pieceEnd = ff == std::string::npos ? stream.size() : ff;
        if (pieceEnd - start > qr::TMessageFramer::MaxMessageSize) {
            expectStop = true;  // overflow: this piece and everything after it go
            break;
        }
        if (ff == std::string::npos) break;
        expected.push_back(stream.substr(start, ff - start));
        start = ff + 1;
        if (IsQuit(expected.back())) {
            expectStop = true;
            break;
        }
    }

    // Feed it in random segments, as receives of up to 32768 bytes would.
    qr::TMessageFramer framer;
    std::vector<std::string> got;
    size_t pos = 0;
    uint32_t seed = size ? data[0] * 2654435761u : 1u;
    while (pos < stream.size() && !framer.QuitSeen() && !framer.Overflowed()) {
        seed = seed * 1103515245u + 12345u;
        size_t len = std::min<size_t>(stream.size() - pos, 1 + (seed >> 8) % 32768);
        framer.Feed(std::string_view(stream).substr(pos, len));
        pos += len;
        while (framer.HasMessage()) got.push_back(qr::UnicodeToCp1252(framer.TakeMessage().Text));
        Check(framer.PendingBytes() <= qr::TMessageFramer::MaxMessageSize, "pending bytes past the bound");
    }
    Check(got == expected, "messages differ from the pieces between form feeds");
    Check(expectStop == (framer.QuitSeen() || framer.Overflowed()), "stop state differs");
    // After a stop nothing more comes out, whatever arrives.
    if (expectStop) {
        framer.Feed("more\fafter\f");
        Check(!framer.HasMessage(), "message after the stop");
    }
    return 0;
}
