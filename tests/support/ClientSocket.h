#pragma once
// The socket calls of the tests' TCP client, one file per platform: BSD
// sockets, or Winsock loaded at run time (the test programs do not link
// ws2_32).
#include <cstddef>
#include <cstdint>

namespace qr::test {

using TClientSocket = intptr_t;
constexpr TClientSocket kNoSocket = -1;  // INVALID_SOCKET on Windows too

// Wine reports a reset that arrives while the server waits for input as an
// orderly end of the stream; Windows and BSD sockets report it as a reset.
extern const bool kResetAlwaysReported;

// A connected stream socket to 127.0.0.1 or ::1; throws std::runtime_error.
TClientSocket ClientConnect(bool ipv6, uint16_t port);
// Bytes sent, or <= 0 when the connection refuses.
int ClientSend(TClientSocket socket, const char* bytes, size_t count);
void ClientShutdownSend(TClientSocket socket);
void ClientClose(TClientSocket socket);
// Makes the next close a reset instead of the orderly end.
void ClientLingerZero(TClientSocket socket);
bool ClientReadable(TClientSocket socket, int timeoutMs);
// The result of receiving one byte: 1, 0 at the end of the stream, < 0 on error.
int ClientReceiveOne(TClientSocket socket);

}  // namespace qr::test
