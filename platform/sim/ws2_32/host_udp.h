// The host's own UDP sockets on its loopback interface, behind a small interface, so that the
// Winsock side never sees the host's socket declarations (their names are Winsock's too).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace sim::detail::host
{

struct Datagram
{
    std::vector<std::uint8_t> bytes;
    std::uint16_t fromPort = 0; // on 127.0.0.1
};

// A UDP socket bound to 127.0.0.1:port (0: any free port); -1 and a Winsock error code on failure.
int OpenUdp(std::uint16_t port, long* error);
std::uint16_t LocalPort(int fd);
// Sends to 127.0.0.1:port; false and a Winsock error code on failure.
bool SendTo(int fd, std::uint16_t port, std::span<const std::uint8_t> bytes, long* error);
// The next datagram, waiting at most waitMs of real time (0: only what has arrived).
std::optional<Datagram> Receive(int fd, int waitMs);
void Close(int fd);

} // namespace sim::detail::host
