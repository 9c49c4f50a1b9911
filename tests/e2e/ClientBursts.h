#pragma once
// Bursts of numbered messages from several clients at once, for the tests
// of a reader that goes away, hangs or comes back.
#include <string>

#include "e2e/Harness.h"

namespace e2e {

// "<tag> <client>/<seq> " padded with 'x' to `size` bytes.
std::string Numbered(const std::string& tag, int client, int seq, size_t size);

// `clients` connections at once, each sending `each` messages of `size`
// bytes and closing; what went wrong, if anything. With `quit` each ends
// with "quit" and waits until the program closes its connection: then
// every message before it has been handed off, and once the connection
// threads are gone, the "quit" too.
std::string SendFromClients(const std::string& tag, int clients, int each, size_t size, bool quit = false);

double SecondsSince(Clock::time_point t);

}  // namespace e2e
